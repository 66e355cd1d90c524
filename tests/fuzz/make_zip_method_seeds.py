#!/usr/bin/env python3
# Remakes the seeds of the zip methods and AES: the compressed streams of
# zips that 7z writes (zstd from the zstd program, 7z writes none into zips)
# for fuzz_zip_decoders, and a few whole zips, AES-128 and AES-256 among them
# under the target's password "secret", for fuzz_unzip_module.
# Run from anywhere: python3 tests/fuzz/make_zip_method_seeds.py
import os, random, struct, subprocess, sys, tempfile, zipfile

here = os.path.dirname(os.path.abspath(__file__))
decoders = os.path.join(here, 'corpus', 'zip_decoders')
module = os.path.join(here, 'corpus', 'unzip_module')
os.makedirs(decoders, exist_ok=True)

rng = random.Random(26)
words = [''.join(rng.choice('etaoinshrdlu') for _ in range(rng.randint(2, 8))) for _ in range(60)]
text = ' '.join(rng.choice(words) for _ in range(500)).encode()
binary = bytes(rng.randrange(256) if i % 7 else 0 for i in range(1500))
selector = {0: 0, 8: 1, 9: 2, 12: 3, 14: 4, 93: 5, 95: 6, 98: 7}


def seed(name, method, eos, size, data, cuts):
    head = bytes([(selector[method] << 1) | eos, cuts]) + struct.pack('<I', size)[:3]
    with open(os.path.join(decoders, name), 'wb') as f:
        f.write(head + data)


def streams(path):
    z = zipfile.ZipFile(path)
    with open(path, 'rb') as f:
        for i in z.infolist():
            f.seek(i.header_offset)
            h = f.read(30)
            n, x = struct.unpack('<HH', h[26:30])
            f.seek(i.header_offset + 30 + n + x)
            yield i, f.read(i.compress_size)


with tempfile.TemporaryDirectory() as tmp:
    src = os.path.join(tmp, 'src')
    os.mkdir(src)
    open(os.path.join(src, 'text.txt'), 'wb').write(text)
    open(os.path.join(src, 'bin.dat'), 'wb').write(binary)

    def sevenzip(out, *options):
        subprocess.run(['7z', 'a', '-tzip', '-bd', *options, out, '.'], cwd=src, check=True,
                       stdout=subprocess.DEVNULL)

    cuts = 0x00
    for method in ['Deflate', 'Deflate64', 'BZip2', 'LZMA', 'PPMd', 'XZ']:
        out = os.path.join(tmp, method + '.zip')
        sevenzip(out, '-mm=' + method)
        for i, data in streams(out):
            if i.compress_type == 0:
                continue
            seed('%s-%s' % (method.lower(), i.filename.split('.')[0]), i.compress_type, (i.flag_bits >> 1) & 1,
                 i.file_size, data, cuts)
            cuts = (cuts + 0x35) & 0xFF
        if method in ('BZip2', 'PPMd'):
            os.replace(out, os.path.join(module, method.lower() + '.zip'))
    packed = subprocess.run(['zstd', '-q', '-c', '-19'], input=text, stdout=subprocess.PIPE, check=True).stdout
    seed('zstd-text', 93, 0, len(text), packed, 0x21)
    seed('stored-bin', 0, 0, len(binary), binary, 0x13)
    for bits in ('128', '256'):
        sevenzip(os.path.join(module, 'aes%s.zip' % bits), '-psecret', '-mem=AES' + bits, '-mm=Deflate')
