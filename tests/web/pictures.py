"""PNG pictures as the tests read them (no packages beyond Python's own)."""
import struct, zlib


def read_png_rgb(path):
    """RGB rows of an 8-bit RGB or RGBA PNG (what Chromium and the replay write)."""
    data = open(path, 'rb').read()
    pos, idat, width = 8, b'', 0
    while pos < len(data):
        n, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b'IHDR':
            width, height, depth, ctype = struct.unpack('>IIBB', body[:10])
            assert depth == 8 and ctype in (2, 6), f'{path}: unsupported PNG'
            bpp = 3 if ctype == 2 else 4
        elif kind == b'IDAT':
            idat += body
        pos += 12 + n
    raw, stride, rows, prev = zlib.decompress(idat), width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - bpp] if i >= bpp else 0
            up, ul = prev[i], prev[i - bpp] if i >= bpp else 0
            if f == 1: line[i] = (line[i] + left) & 255
            elif f == 2: line[i] = (line[i] + up) & 255
            elif f == 3: line[i] = (line[i] + (left + up) // 2) & 255
            elif f == 4:
                p = left + up - ul
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - ul)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else ul)) & 255
        rows.append(bytes(b for i, b in enumerate(line) if bpp == 3 or i % 4 != 3))
        prev = line
    return width, height, rows
