#!/usr/bin/env python3
"""Generates the constant Layer III tables of the decoder from the plain-text MPEG tables.

Usage: gen_layer3_tables.py ISO_TABLES_DIR OUT_HEADER

The output is committed (src/decoder/generated/layer3_tables.h), so a build never needs the
table folder. It holds:
  * the Huffman code tables as tree arrays (branch = -(words in the 0-subtree), leaf = value),
  * multi-level lookup tables built from the same codes, which decode one code word per lookup
    (plus one per extra level for long codes),
  * the count1 lookup (6-bit direct tables),
  * scale-factor band boundaries, pretab, MPEG-1 slen, nr_of_sfb_block and alias coefficients.
"""

import os
import sys

ROOT_BITS_MAX = 8  # first-level lookup width for the big tables
SUB_BITS_MAX = 6


def data_lines(path):
    with open(path) as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith('#'):
                yield line.split()


def read_bigvalues(path):
    tables = {}
    current = None
    for parts in data_lines(path):
        if parts[0] == 'TABLE':
            n, linbits, xlen, entries, codes_from = map(int, parts[1:])
            current = {'n': n, 'linbits': linbits, 'xlen': xlen, 'codes_from': codes_from, 'codes': []}
            tables[n] = current
        else:
            x, y, hlen, code = int(parts[0]), int(parts[1]), int(parts[2]), parts[3]
            assert len(code) == hlen
            current['codes'].append((code, 16 * x + y))
    return tables


def read_count1(path):
    tables = []
    current = None
    for parts in data_lines(path):
        if parts[0] == 'TABLE':
            current = []
            tables.append(current)
        else:
            v, w, x, y, hlen, code = parts
            assert len(code) == int(hlen)
            current.append((code, 8 * int(v) + 4 * int(w) + 2 * int(x) + int(y)))
    return tables


def build_tree(codes):
    """Pre-order tree array: a branch is -(words in its 0-subtree), a leaf its value."""
    def build(prefix):
        for code, value in codes:
            if code == prefix:
                return [value]
        zero = build(prefix + '0')
        one = build(prefix + '1')
        return [-len(zero)] + zero + one
    return build('')


def walk_tree(tree, bits):
    i = 0
    used = 0
    while tree[i] < 0:
        b = bits[used]
        used += 1
        i = i + 1 + (-tree[i] if b == '1' else 0)
    return tree[i], used


class Lookup:
    """Multi-level lookup tables in one flat array of 32-bit words.

    Leaf word: bits 0-7 value, bits 8-15 total code length.
    Link word: bit 31 set, bits 24-27 width of the next level, bits 0-23 its offset.
    """

    def __init__(self):
        self.words = []

    def add(self, codes, width, depth=0):
        base = len(self.words)
        self.words.extend([None] * (1 << width))
        groups = {}
        for code, value in codes:
            rest = code[depth:]
            if len(rest) <= width:
                pad = width - len(rest)
                start = int(rest, 2) << pad if rest else 0
                for k in range(1 << pad):
                    assert self.words[base + start + k] is None
                    self.words[base + start + k] = value | (len(code) << 8)
            else:
                groups.setdefault(rest[:width], []).append((code, value))
        for prefix, sub in groups.items():
            longest = max(len(c) for c, _ in sub) - depth - width
            sub_width = min(longest, SUB_BITS_MAX)
            offset = self.add(sub, sub_width, depth + width)
            self.words[base + int(prefix, 2)] = 0x80000000 | (sub_width << 24) | offset
        assert all(w is not None for w in self.words[base:base + (1 << width)])
        return base


def lookup_decode(words, root, root_bits, bits):
    padded = bits + '0' * 40
    e = words[root + int(padded[:root_bits], 2)]
    consumed = root_bits
    while e & 0x80000000:
        w = (e >> 24) & 15
        e = words[(e & 0xFFFFFF) + int(padded[consumed:consumed + w], 2)]
        consumed += w
    return e & 0xFF, e >> 8


def c_array(ctype, name, values, per_line=12):
    out = [f'inline constexpr {ctype} {name}[{len(values)}] = {{']
    for i in range(0, len(values), per_line):
        out.append('    ' + ', '.join(str(v) for v in values[i:i + per_line]) + ',')
    out.append('};')
    return '\n'.join(out)


def main():
    src, out_path = sys.argv[1], sys.argv[2]
    big = read_bigvalues(os.path.join(src, 'huffman_bigvalues.txt'))
    count1 = read_count1(os.path.join(src, 'huffman_count1.txt'))

    # Band boundaries in the decoder's row order (sample-rate index 0..8).
    longb, shortb = {}, {}
    for parts in data_lines(os.path.join(src, 'sfb_bands.txt')):
        vals = list(map(int, parts[2:]))
        (longb if parts[0] == 'LONG' else shortb)[int(parts[1])] = vals
    rates = [44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000]

    misc = {}
    section = None
    for parts in data_lines(os.path.join(src, 'layer3_misc.txt')):
        if parts[0] == 'SECTION':
            section = parts[1]
            misc[section] = []
        else:
            misc[section].append(parts)

    # Huffman: one tree and one lookup per distinct code table.
    code_tables = sorted(n for n, t in big.items() if t['codes_from'] == n and t['codes'])
    lookup = Lookup()
    trees, tree_offset, tree_len, root_offset, root_bits = [], {}, {}, {}, {}
    for n in code_tables:
        codes = big[n]['codes']
        tree = build_tree(codes)
        assert len(tree) == 2 * len(codes) - 1
        tree_offset[n], tree_len[n] = len(trees), len(tree)
        trees.extend(tree)
        longest = max(len(c) for c, _ in codes)
        rb = min(longest, ROOT_BITS_MAX)
        root_bits[n] = rb
        root_offset[n] = lookup.add(codes, rb)
        for code, value in codes:
            assert walk_tree(tree, code) == (value, len(code))
            assert lookup_decode(lookup.words, root_offset[n], rb, code) == (value, len(code))
    # Table 1 must come out exactly as the documented example.
    assert trees[tree_offset[1]:tree_offset[1] + tree_len[1]] == [-5, -3, -1, 17, 1, 16, 0]

    # Per table number 0..31: linbits, lookup root, root width, tree offset (-1 = no codes).
    linbits, roots, widths, toffs = [], [], [], []
    for n in range(32):
        t = big[n]
        linbits.append(t['linbits'])
        cf = t['codes_from']
        if cf in root_offset:
            roots.append(root_offset[cf])
            widths.append(root_bits[cf])
            toffs.append(tree_offset[cf])
        else:
            roots.append(0)
            widths.append(0)
            toffs.append(-1)

    # count1: trees and 6-bit direct lookups (value | length << 8).
    c1_trees, c1_offsets, c1_lookup = [], [], []
    for codes in count1:
        tree = build_tree(codes)
        c1_offsets.append(len(c1_trees))
        c1_trees.extend(tree)
        table = [None] * 64
        for code, value in codes:
            assert len(code) <= 6
            pad = 6 - len(code)
            start = int(code, 2) << pad
            for k in range(1 << pad):
                table[start + k] = value | (len(code) << 8)
        assert None not in table
        c1_lookup.extend(table)

    pretab = list(map(int, misc['pretab'][0]))
    slen = [0] * 32
    for s, a, b in misc['slen_mpeg1']:
        slen[2 * int(s)] = int(a)
        slen[2 * int(s) + 1] = int(b)
    nsfb = [0] * (3 * 6 * 4)  # [block kind][row][group]
    for row, kind, *counts in misc['nr_of_sfb_block']:
        for g, c in enumerate(counts):
            nsfb[(int(kind) * 6 + int(row)) * 4 + g] = int(c)
    alias = [p[1] for p in misc['alias_ci']]

    L = []
    L.append('// Generated by tools/gen_layer3_tables.py from the MPEG constant tables. Do not edit.')
    L.append('#pragma once')
    L.append('#include <cstdint>')
    L.append('')
    L.append('namespace tovira::layer3 {')
    L.append('')
    L.append('// Huffman code tables as tree arrays: decoding starts at a table\'s first word; a negative')
    L.append('// word is a branch (on a 1 bit skip -w words after it), a non-negative word a leaf 16x+y.')
    L.append(c_array('int16_t', 'kHuffTree', trees, 16))
    L.append('// Per table number 0..31: offset into kHuffTree, or -1 for tables without code words.')
    L.append(c_array('int16_t', 'kHuffTreeOffset', toffs, 16))
    L.append(c_array('uint8_t', 'kLinbits', linbits, 16))
    L.append('// Lookup words: a leaf holds the value in bits 0-7 and the whole code length in bits 8-15;')
    L.append('// a link (bit 31) holds the next level\'s width in bits 24-27 and its offset in bits 0-23.')
    L.append(c_array('uint32_t', 'kHuffLookup', lookup.words, 8))
    L.append(c_array('uint16_t', 'kHuffRoot', roots, 16))
    L.append(c_array('uint8_t', 'kHuffRootBits', widths, 16))
    L.append('// count1 tables A and B: tree arrays (leaf = v w x y as bits 3..0) and 6-bit lookups.')
    L.append(c_array('int8_t', 'kCount1Tree', c1_trees, 16))
    L.append(c_array('uint8_t', 'kCount1TreeOffset', c1_offsets))
    L.append(c_array('uint16_t', 'kCount1Lookup', c1_lookup, 16))
    L.append('')
    L.append('// Scale-factor band boundaries by sample-rate index: 23 long (lines), 14 short (lines per window).')
    L.append('inline constexpr int16_t kLongBoundary[9][23] = {')
    for r in rates:
        L.append('    {' + ', '.join(map(str, longb[r])) + '},')
    L.append('};')
    L.append('inline constexpr int16_t kShortBoundary[9][14] = {')
    for r in rates:
        L.append('    {' + ', '.join(map(str, shortb[r])) + '},')
    L.append('};')
    L.append(c_array('uint8_t', 'kPretab', pretab, 22))
    L.append('// MPEG-1 scalefac_compress -> slen1, slen2.')
    L.append(c_array('uint8_t', 'kSlenMpeg1', slen, 16))
    L.append('// nr_of_sfb_block [block kind: long, short, mixed][row 0..5][group 0..3].')
    L.append(c_array('uint8_t', 'kNrOfSfbBlock', nsfb, 12))
    L.append('inline constexpr double kAliasCoefficient[8] = {' + ', '.join(alias) + '};')
    L.append('')
    L.append('}  // namespace tovira::layer3')
    with open(out_path, 'w') as f:
        f.write('\n'.join(L) + '\n')


if __name__ == '__main__':
    main()
