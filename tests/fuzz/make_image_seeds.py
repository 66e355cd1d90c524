#!/usr/bin/env python3
# Remakes the seeds of fuzz_image_decode: a 4 x 3 picture written by
# ImageMagick in each kind the image decoding helper reads, and two DevIL
# layouts ImageMagick does not write (Alias PIX, IFF ILBM) made here. Each
# seed is the index of its ending in the target's list, then the file.
# Run from anywhere: python3 tests/fuzz/make_image_seeds.py
import os, struct, subprocess, tempfile

here = os.path.dirname(os.path.abspath(__file__))
corpus = os.path.join(here, 'corpus', 'image_decode')
os.makedirs(corpus, exist_ok=True)

# The target's endings, in its order.
endings = ('.bmp .jpeg .jpe .jpg .pcx .png .pbm .pgm .ppm .psd .raw .sgi .bw .rgb .rgba .tga .tif .tiff .lbm '
           '.pcd .pix .pic .pnm .pxr').split()


def put(name, ending, data):
    with open(os.path.join(corpus, name), 'wb') as f:
        f.write(bytes([endings.index(ending)]) + data)


with tempfile.TemporaryDirectory() as d:
    base = os.path.join(d, 'base.png')
    subprocess.run(['convert', '-size', '4x3', 'gradient:red-blue', '-depth', '8', base], check=True)
    made = [  # (seed, ending, ImageMagick's output with its options)
        ('png', '.png', ['PNG24:']), ('png_alpha', '.png', ['-alpha', 'set', '-channel', 'A', '-evaluate', 'set',
                                                           '50%', '+channel', 'PNG32:']),
        ('png_gray', '.png', ['-type', 'Grayscale', 'PNG8:']), ('jpg', '.jpg', ['JPG:']),
        ('jpeg_progressive', '.jpeg', ['-interlace', 'Plane', 'JPG:']), ('bmp', '.bmp', ['BMP3:']),
        ('bmp_palette', '.bmp', ['-colors', '4', '-type', 'Palette', 'BMP3:']), ('pcx', '.pcx', ['PCX:']),
        ('pbm', '.pbm', ['PBM:']), ('pgm', '.pgm', ['PGM:']), ('ppm', '.ppm', ['PPM:']), ('pnm', '.pnm', ['PNM:']),
        ('psd', '.psd', ['PSD:']), ('sgi', '.sgi', ['SGI:']), ('rgb_rle', '.rgb', ['-compress', 'RLE', 'SGI:']),
        ('tga', '.tga', ['TGA:']), ('tga_rle', '.tga', ['-compress', 'RLE', 'TGA:']), ('tif', '.tif', ['TIFF:']),
        ('tiff_lzw', '.tiff', ['-compress', 'LZW', 'TIFF:']),
        ('bmp_rle', '.bmp', ['-colors', '200', '-type', 'Palette', '-compress', 'RLE', 'BMP3:']),
        ('pgm_text', '.pgm', ['-compress', 'None', 'PGM:']), ('ppm_text', '.ppm', ['-compress', 'None', 'PPM:']),
        ('psd_rle', '.psd', ['-compress', 'RLE', 'PSD:']),
    ]
    for name, ending, options in made:
        out = os.path.join(d, name)
        subprocess.run(['convert', base, '-strip', '-depth', '8'] + options[:-1] + [options[-1] + out], check=True)
        with open(out, 'rb') as f:
            put(name, ending, f.read())

# Alias PIX: width, height, two offsets, bits per pixel (16-bit big-endian),
# then runs of (count, blue, green, red).
put('pix', '.pix', struct.pack('>HHHHH', 4, 3, 0, 0, 24) + b''.join(bytes([4, 10 * r, 20 * r, 30 * r]) for r in range(3)))


# IFF ILBM: one bit plane, a two-colour palette, rows of 16 pixels.
def chunk(kind, data):
    return kind + struct.pack('>I', len(data)) + data + (b'\0' if len(data) % 2 else b'')


bmhd = struct.pack('>HHhhBBBBHBBhh', 4, 3, 0, 0, 1, 0, 0, 0, 0, 10, 11, 4, 3)
body = bytes([0b10100000, 0, 0b01010000, 0, 0b11110000, 0])
put('lbm', '.lbm', chunk(b'FORM', b'ILBM' + chunk(b'BMHD', bmhd) + chunk(b'CMAP', bytes([0, 0, 0, 255, 200, 100]))
                         + chunk(b'BODY', body)))


# Softimage PIC: the header (magic, version, comment, "PICT", width, height,
# ratio, fields, padding), the channel packets (chained, size, kind,
# channels), then per row mixed run-length packets for colour and alpha.
pic_head = (struct.pack('>If', 0x5380F634, 3.71) + bytes(80) + b'PICT' + struct.pack('>HHfHH', 4, 3, 1.0, 3, 0)
            + bytes([1, 8, 2, 0xE0, 0, 8, 2, 0x10]))
put('pic', '.pic', pic_head + b''.join(bytes([127 + 4, 10 * r, 20, 30, 127 + 4, 255]) for r in range(3)))

# Pixar: height, width (16-bit little-endian) at 416, the kind at 424, pixels at 1024.
pxr = bytearray(1024)
pxr[416:420] = struct.pack('<HH', 3, 4)
pxr[424] = 0x0E
put('pxr', '.pxr', bytes(pxr) + bytes(range(36)))
