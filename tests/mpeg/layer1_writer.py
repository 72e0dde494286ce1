#!/usr/bin/env python3
"""Writes layer I test streams: valid frames whose allocations, scale factors
and sample codes are drawn at random (no encoder needed: the decoder under test
and a reference decoder must agree on any valid stream)."""
import random

RATES = {44100: (1, 0), 48000: (1, 1), 32000: (1, 2), 22050: (0, 0), 24000: (0, 1), 16000: (0, 2)}
BITRATES = {1: [0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448],
            0: [0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256]}


class Bits:
    def __init__(self):
        self.bits = []

    def put(self, value, n):
        for i in range(n - 1, -1, -1):
            self.bits.append((value >> i) & 1)

    def to_bytes(self):
        out = bytearray()
        for i in range(0, len(self.bits), 8):
            byte = 0
            for b in self.bits[i:i + 8]:
                byte = (byte << 1) | b
            out.append(byte << (8 - len(self.bits[i:i + 8])))
        return bytes(out)


def crc16(bits):
    crc = 0xFFFF
    for b in bits:
        carry = (crc >> 15) & 1
        crc = (crc << 1) & 0xFFFF
        if carry ^ b:
            crc ^= 0x8005
    return crc


def frame(rng, id_bit, sf_index, br_index, mode, mode_ext, protect, padding):
    kbps = BITRATES[id_bit][br_index]
    rate = [k for k, v in RATES.items() if v == (id_bit, sf_index)][0]
    slots = 12 * kbps * 1000 // rate + padding
    total_bits = slots * 32
    channels = 1 if mode == 3 else 2
    bound = 4 + 4 * mode_ext if mode == 1 else 32

    def cost(sb):
        """Bits of subband sb: allocation fields, scale factors and samples."""
        bits = 4 * (channels if sb < bound else 1)
        for ch in range(channels):
            if alloc[ch][sb]:
                bits += 6
        if sb < bound:
            bits += sum(12 * (alloc[ch][sb] + 1) for ch in range(channels) if alloc[ch][sb])
        elif alloc[0][sb]:
            bits += 12 * (alloc[0][sb] + 1)
        return bits

    alloc = [[0] * 32 for _ in range(2)]
    for sb in range(32):
        if rng.random() < 0.7:
            for ch in range(channels):
                alloc[ch][sb] = rng.randint(1, 14) if sb < bound or ch == 0 else alloc[0][sb]
    for sb in range(bound, 32):
        alloc[1][sb] = alloc[0][sb] if channels == 2 else 0
    # Random allocations are taken back one step at a time until the frame fits;
    # only the changed subband is counted again.
    used = 32 + (16 if protect else 0) + sum(cost(sb) for sb in range(32))
    while used > total_bits:
        sb, ch = rng.randrange(32), rng.randrange(channels)
        if alloc[ch][sb]:
            before = cost(sb)
            alloc[ch][sb] -= 1
            if sb >= bound:
                alloc[1 - ch][sb] = alloc[ch][sb] if channels == 2 else 0
            used += cost(sb) - before

    head = Bits()
    head.put(0xFFF << 4 | id_bit << 3 | 3 << 1 | (0 if protect else 1), 16)  # layer I
    protected = Bits()  # the header's last 16 bits, "original" set
    protected.put(br_index << 12 | sf_index << 10 | padding << 9 | mode << 6 | mode_ext << 4 | 1 << 2, 16)
    body = Bits()
    for sb in range(32):
        if sb < bound:
            for ch in range(channels):
                body.put(alloc[ch][sb], 4)
        else:
            body.put(alloc[0][sb], 4)
    crc = crc16(protected.bits + body.bits)
    for sb in range(32):
        for ch in range(channels):
            if alloc[ch][sb]:
                body.put(rng.randint(15, 45), 6)
    for _ in range(12):
        for sb in range(32):
            for ch in range(channels if sb < bound else 1):
                a = alloc[ch][sb]
                if a:
                    n = a + 1
                    body.put(rng.randrange((1 << n) - 1), n)  # all ones is not a valid code
    out = Bits()
    out.bits = head.bits + protected.bits
    if protect:
        out.put(crc, 16)
    out.bits += body.bits
    out.put(0, total_bits - len(out.bits))
    return out.to_bytes()


def write_stream(path, rate, br_index, mode, mode_ext=0, protect=False, frames=100, seed=1):
    id_bit, sf_index = RATES[rate]
    rng = random.Random(seed)
    kbps = BITRATES[id_bit][br_index]
    with open(path, "wb") as f:
        rest = 0
        for _ in range(frames):
            # Padding keeps the average frame length exact at 44.1 and 22.05 kHz.
            rest += 12 * kbps * 1000 % rate
            padding = 1 if rest >= rate else 0
            rest -= rate * padding
            f.write(frame(rng, id_bit, sf_index, br_index, mode, mode_ext, protect, padding))

