#!/usr/bin/env python3
# Remakes the seeds of fuzz_zip_set: small zips from python's zipfile (stored,
# deflated, one encrypted by the zip program with the password "secret") cut
# into sets of parts, each local header whole in its part, the directory
# running over into the last part or not. Every set is checked by having the
# zip program join it back (zip -s 0) and unzip test the result.
# Run from anywhere: python3 tests/fuzz/make_zip_set_seeds.py
import io, os, struct, subprocess, tempfile, zipfile

here = os.path.dirname(os.path.abspath(__file__))
corpus = os.path.join(here, 'corpus', 'zip_set')
os.makedirs(corpus, exist_ok=True)


def entries(z):
    """The central records of a zip without a prefix: (fixed, name, extra, comment)."""
    end = z.rfind(b'PK\x05\x06')
    count, size, offset = struct.unpack('<HII', z[end + 10:end + 20])
    out, at = [], offset
    for _ in range(count):
        n, e, c = struct.unpack('<HHH', z[at + 28:at + 34])
        out.append((bytearray(z[at:at + 46]), z[at + 46:at + 46 + n], z[at + 46 + n:at + 46 + n + e],
                    z[at + 46 + n + e:at + 46 + n + e + c]))
        at += 46 + n + e + c
    return out, offset, z[end + 22:]


def split(z, cuts):
    """The parts of the set holding zip `z`, a new part starting at each of
    `cuts` (offsets into the stream of marker, entries, directory, end record)."""
    records, central, comment = entries(z)
    stream = b'PK\x07\x08' + z[:central]
    bounds = [0] + sorted(cuts)

    def place(pos):
        disk = max(i for i, b in enumerate(bounds) if b <= pos)
        return disk, pos - bounds[disk]

    directory = b''
    on_last = 0
    last = len(bounds) - 1
    for fixed, name, extra, note in records:
        disk, offset = place(4 + struct.unpack('<I', fixed[42:46])[0])
        struct.pack_into('<HHI', fixed, 34, disk, *struct.unpack('<HI', fixed[36:42]))
        struct.pack_into('<I', fixed, 42, offset)
        on_last += place(len(stream) + len(directory))[0] == last
        directory += bytes(fixed) + name + extra + note
    cdisk, coffset = place(len(stream))
    end = struct.pack('<IHHHHIIH', 0x06054B50, last, cdisk, on_last, len(records), len(directory), coffset,
                      len(comment)) + comment
    whole = stream + directory + end
    assert bounds[-1] < len(whole) - len(end), 'the end record must lie whole in the last part'
    return [whole[a:b] for a, b in zip(bounds, bounds[1:] + [len(whole)])]


def check(parts, password):
    with tempfile.TemporaryDirectory() as d:
        names = [os.path.join(d, 'x.z%02d' % (i + 1)) for i in range(len(parts) - 1)] + [os.path.join(d, 'x.zip')]
        for n, p in zip(names, parts):
            with open(n, 'wb') as f:
                f.write(p)
        subprocess.run(['zip', '-q', '-s', '0', names[-1], '--out', os.path.join(d, 'j.zip')], check=True)
        subprocess.run(['unzip', '-tqq', '-P', password, os.path.join(d, 'j.zip')], check=True)


def seed(name, z, cuts, password='secret'):
    parts = split(z, cuts)
    check(parts, password)
    body = b''.join(struct.pack('<H', len(p)) + p for p in parts[:-1]) + parts[-1]
    with open(os.path.join(corpus, name), 'wb') as f:
        f.write(bytes([len(parts) - 1]) + body)


def pyzip(method, files, comment=b''):
    b = io.BytesIO()
    with zipfile.ZipFile(b, 'w', method) as z:
        for n, data in files:
            z.writestr(n, data)
        z.comment = comment
    return b.getvalue()


text = b''.join(b'line %d of the text\n' % i for i in range(60))
noise = bytes((i * 7919 + 13) % 251 for i in range(700))
stored = pyzip(zipfile.ZIP_STORED, [('a.txt', text[:300]), ('dir/', b''), ('dir/b.bin', noise)])
seed('stored2', stored, [200])
seed('stored3', stored, [100, 500])
# The directory runs over from the second part into the third (its last
# record, 'dir/b.bin', starts the third).
seed('stored_dir_across', stored, [200, len(stored) + 4 - 22 - (46 + 9)])
deflated = pyzip(zipfile.ZIP_DEFLATED, [('t1.txt', text), ('t2.txt', text[::-1]), ('n.bin', noise)],
                 b'a set comment')
seed('deflated4', deflated, [60, 150, 300])

with tempfile.TemporaryDirectory() as d:
    src = os.path.join(d, 'secret.txt')
    with open(src, 'wb') as f:
        f.write(text)
    subprocess.run(['zip', '-q', '-j', '-P', 'secret', os.path.join(d, 'e.zip'), src], check=True)
    with open(os.path.join(d, 'e.zip'), 'rb') as f:
        encrypted = f.read()
seed('encrypted2', encrypted, [120])
