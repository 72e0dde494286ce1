#!/usr/bin/env python3
"""Writes the HUFFDEC text: the layer III Huffman code tables as decoding trees.

Usage: make_huffdec.py huffman_tables.json OUT

Each tree is an array of node pairs.  A leaf is (0, value); an inner node holds
the forward distances (in nodes) to follow on a 0 bit and on a 1 bit.  The
decoder adds a distance of 250 or more and looks at the same side of the node
it lands on again, so a child further away than 249 nodes is reached through
"relay" nodes placed exactly 250..255 nodes apart.  The layout is checked here
by decoding every code word with that rule.
"""
import json
import sys

JUMP_MIN = 250
JUMP_MAX = 255


class Node:
    __slots__ = ("children", "value", "relay")

    def __init__(self):
        self.children = [None, None]
        self.value = None      # leaf value byte
        self.relay = None      # for relay nodes: {side: distance}


def build_tree(codes):
    root = Node()
    for code, value in codes:
        node = root
        for ch in code:
            bit = int(ch)
            if node.children[bit] is None:
                node.children[bit] = Node()
            node = node.children[bit]
            if node.value is not None:
                raise ValueError("code %s has a prefix that is a code word" % code)
        if node.children != [None, None] or node.value is not None:
            raise ValueError("code %s is a prefix of another" % code)
        node.value = value
    return root


def check_complete(node):
    if node.value is None:
        if None in node.children:
            raise ValueError("incomplete code: an inner node lacks a child")
        check_complete(node.children[0])
        check_complete(node.children[1])


def preorder(node, out):
    """Nodes in preorder, the 1-subtree before the 0-subtree."""
    out.append(node)
    if node.value is None:
        preorder(node.children[1], out)
        preorder(node.children[0], out)


def place(order):
    """Returns a slot list (tree nodes and relay nodes) where every edge is encodable."""
    slots = list(order)
    while True:
        pos = {id(n): i for i, n in enumerate(slots)}
        fixed = False
        for i, node in enumerate(slots):
            if node.relay is not None or node.value is not None:
                continue
            for side in (0, 1):
                target = pos[id(node.children[side])]
                dist = target - i
                if dist < JUMP_MIN:
                    continue
                # Walk the relay chain the decoder would take; when it lacks a
                # relay at the next step, insert one and start over.
                at = i
                while target - at >= JUMP_MIN:
                    step = next((j for j in range(JUMP_MIN, JUMP_MAX + 1)
                                 if at + j < len(slots) and slots[at + j].relay is not None
                                 and side not in slots[at + j].relay
                                 and at + j <= target), None)
                    if step is None:
                        relay = Node()
                        relay.relay = {}
                        slots.insert(at + JUMP_MIN, relay)
                        fixed = True
                        break
                    slots[at + step].relay[side] = None  # claimed; distance set below
                    at += step
                if fixed:
                    break
            if fixed:
                break
        if not fixed:
            return slots
        for n in slots:
            if n.relay is not None:
                n.relay.clear()


def encode(slots):
    pos = {id(n): i for i, n in enumerate(slots)}
    pairs = [[0, 0] for _ in slots]
    for n in slots:
        if n.relay is not None:
            n.relay.clear()
    for i, node in enumerate(slots):
        if node.relay is not None:
            continue
        if node.value is not None:
            pairs[i] = [0, node.value]
            continue
        for side in (0, 1):
            target = pos[id(node.children[side])]
            at = i
            while target - at >= JUMP_MIN:
                step = next(j for j in range(JUMP_MIN, JUMP_MAX + 1)
                            if at + j < len(slots) and slots[at + j].relay is not None
                            and side not in slots[at + j].relay and at + j <= target)
                pairs[at][side] = step
                at += step
                slots[at].relay[side] = True
            pairs[at][side] = target - at
    # Relay sides nobody uses point one node on, which is never followed.
    for i, n in enumerate(slots):
        if n.relay is not None:
            for side in (0, 1):
                if side not in n.relay:
                    pairs[i][side] = 1
    return pairs


def decode(pairs, bits):
    """The decoder's walk; returns (value, bits used) or None."""
    point, used = 0, 0
    while pairs[point][0] != 0:
        if used >= len(bits) or used >= 32:
            return None
        side = bits[used]
        used += 1
        while pairs[point][side] >= JUMP_MIN:
            point += pairs[point][side]
        point += pairs[point][side]
        if point >= len(pairs):
            return None
    return pairs[point][1], used


def make_tree(codes):
    root = build_tree(codes)
    check_complete(root)
    order = []
    preorder(root, order)
    pairs = encode(place(order))
    for code, value in codes:
        got = decode(pairs, [int(c) for c in code])
        if got != (value, len(code)):
            raise ValueError("layout decodes %s wrongly: %r" % (code, got))
    if any(not 0 <= v <= 255 for p in pairs for v in p):
        raise ValueError("node entry out of byte range")
    return pairs


def main():
    src, out = sys.argv[1], sys.argv[2]
    with open(src, encoding="utf-8") as f:
        data = json.load(f)
    tables = sorted(data["tables"], key=lambda t: t["table"])
    if [t["table"] for t in tables] != list(range(34)):
        raise SystemExit("expected tables 0..33")
    lines = [
        "# Layer III Huffman code tables (tables 0..31 for big values, 32 and 33 for",
        "# count1 quadruples) as decoding trees.",
        "#",
        "# .table  number  tree-length  xlen  ylen  linbits",
        "# .treedata: tree-length node pairs in hexadecimal.  A pair starting with 0",
        "# is a leaf whose second byte is x * 16 + y (quadruples: 8v + 4w + 2x + y);",
        "# otherwise the bytes are the forward distances for a 0 and a 1 bit.  A",
        "# distance of 250 or more is added and the same side of the node reached is",
        "# read again.",
        "# .reference n: the tree of table n (same xlen and ylen, own linbits).",
        "#",
    ]
    trees = {}
    for t in tables:
        n = t["table"]
        ref = t.get("same_codes_as")
        if ref is not None:
            r = tables[ref]
            if (r["xlen"], r["ylen"]) != (t["xlen"], t["ylen"]):
                raise SystemExit("table %d: reference dimensions differ" % n)
            lines.append(".table %d %d %d %d %d" % (n, len(trees[ref]), t["xlen"], t["ylen"], t["linbits"]))
            lines.append(".reference %d" % ref)
            continue
        if n >= 32:
            codes = [(c["code"], c["value"]) for c in t["codes"]]
        else:
            codes = [(c["code"], c["x"] * 16 + c["y"]) for c in t["codes"]]
        pairs = make_tree(codes) if codes else []
        trees[n] = pairs
        lines.append("# table %d: %d code words" % (n, len(codes)))
        lines.append(".table %d %d %d %d %d" % (n, len(pairs), t["xlen"], t["ylen"], t["linbits"]))
        lines.append(".treedata")
        if not pairs:
            # The reader skips the rest of the line after the last pair.
            lines.append("")
        for i in range(0, len(pairs), 8):
            lines.append(" ".join("%2x %2x" % tuple(p) for p in pairs[i:i + 8]))
    lines.append(".end")
    text = "\r\n".join(lines) + "\r\n"
    with open(out, "w", newline="", encoding="ascii") as f:
        f.write(text)


if __name__ == "__main__":
    main()
