#!/usr/bin/env python3
"""Writes the numeric tables of layer III decoding as a C++ header.

Usage: make_layer3_tables.py layer3_scalefactor_bands.json layer3_misc.json OUT.h
"""
import json
import sys


def row(values, fmt="%d"):
    return "{" + ", ".join(fmt % v for v in values) + "}"


def floats(strings):
    return "{" + ", ".join("%sf" % s for s in strings) + "}"


def main():
    bands_path, misc_path, out = sys.argv[1:4]
    with open(bands_path, encoding="utf-8") as f:
        bands = json.load(f)
    with open(misc_path, encoding="utf-8") as f:
        misc = json.load(f)

    # [version row][sampling frequency index]: row 0 MPEG-2 LSF, row 1 MPEG-1,
    # row 2 the 2.5 extension; index order as in the frame header.
    rates = [[22050, 24000, 16000], [44100, 48000, 32000], [11025, 12000, 8000]]
    by_rate = {r["sample_rate"]: r for r in bands["rates"]}
    long_rows, short_rows = [], []
    for version in rates:
        lr, sr = [], []
        for rate in version:
            r = by_rate[rate]
            lb, sb = r["long_boundaries"], r["short_boundaries"]
            if len(lb) != 23 or lb[0] != 0 or lb[-1] != 576 or len(sb) != 14 or sb[-1] != 192:
                raise SystemExit("bad band table for %d Hz" % rate)
            lr.append("        " + row(lb) + ",  // %d Hz" % rate)
            sr.append("        " + row(sb) + ",  // %d Hz" % rate)
        long_rows.append("    {\n" + "\n".join(lr) + "\n    },")
        short_rows.append("    {\n" + "\n".join(sr) + "\n    },")

    # The 8-12 kHz rates are not in the standards; their bands follow from the
    # 16 kHz ones: 11025 and 12000 Hz use them as they are, 8000 Hz doubles the
    # lower widths (the 17th long band cut to end at 566) and ends in two-line
    # bands. A table that breaks these rules is a typing error.
    def widths(rate, kind):
        return by_rate[rate][kind + "_widths"]
    for kind in ("long", "short"):
        for rate in (11025, 12000):
            if widths(rate, kind) != widths(16000, kind):
                raise SystemExit("%d Hz %s bands differ from the 16 kHz ones" % (rate, kind))
    w16, w8 = widths(16000, "long"), widths(8000, "long")
    s16, s8 = widths(16000, "short"), widths(8000, "short")
    if (w8[:16] != [2 * w for w in w16[:16]] or w8[17:] != [2] * 5 or sum(w8) != 576 or
            s8[:9] != [2 * w for w in s16[:9]] or s8[9:12] != [2] * 3 or sum(s8) != 192):
        raise SystemExit("8000 Hz bands do not follow from the 16 kHz ones")

    pretab = misc["pretab"]["values"]
    alias_c = misc["alias_reduction"]["c"]
    slen = [(e["slen1"], e["slen2"]) for e in
            sorted(misc["mpeg1_scalefac_compress"]["entries"], key=lambda e: e["scalefac_compress"])]
    lsf = misc["mpeg2_lsf_scalefactors"]
    nsfb = lsf["nr_of_sfb_block"]
    rules = []
    for rule in lsf["split_rules"]:
        rules.append("    {%d, %d, %s, %d},  // %s channel, table %d" % (
            rule["range"][0], rule["range"][1], row(rule["radix"]), rule["preflag"],
            rule["channel"], rule["table_index"]))
        if len(rules) - 1 != rule["table_index"]:
            raise SystemExit("split rules out of order")
    is1 = misc["intensity_stereo_mpeg1"]
    is2 = misc["intensity_stereo_mpeg2_lsf"]["io_powers"]

    text = """#pragma once
// Generated from the layer III reference data by make_layer3_tables.py; do not edit.

#include <array>
#include <cstdint>

namespace lumetra::mpeg::layer3_tables {

// Scale-factor band boundaries [version row][sampling frequency index]; version
// row 0 is MPEG-2 LSF, 1 is MPEG-1, 2 the 8-12 kHz extension.
inline constexpr int16_t kLongBands[3][3][23] = {
%s
};
inline constexpr int16_t kShortBands[3][3][14] = {
%s
};

// Added to the long scale factors when preflag is set.
inline constexpr std::array<uint8_t, 22> kPretab = %s;

// Alias-reduction coefficients c[i] as tabulated.
inline constexpr std::array<float, 8> kAliasC = %s;

// MPEG-1 slen1, slen2 for scalefac_compress 0..15.
inline constexpr uint8_t kSlen[16][2] = %s;

// MPEG-2 LSF: scale factors per slen group [table][block kind: long, short,
// mixed][group].
inline constexpr uint8_t kLsfBandsPerGroup[6][3][4] = %s;

// MPEG-2 LSF split of scalefac_compress (normal channel: tables 0-2, from the
// 9-bit value; intensity right channel: tables 3-5, from the value >> 1): the
// offset from first, written in mixed radix with these digit bases, gives
// slen1..slen4.
struct LsfSplitRule {
    int16_t first;
    int16_t last;
    uint8_t radix[4];
    uint8_t preflag;
};
inline constexpr LsfSplitRule kLsfSplit[6] = {
%s
};

// MPEG-1 intensity stereo factors for is_pos 0..6.
inline constexpr std::array<float, 7> kIntensityLeft = %s;
inline constexpr std::array<float, 7> kIntensityRight = %s;

// MPEG-2 LSF intensity stereo: io^k for k = 1..15, io = 2^(-1/4) (intensity
// scale 0) or 2^(-1/2) (intensity scale 1); index 0 holds io^0 = 1.
inline constexpr float kIntensityLsf[2][16] = {
    %s,
    %s,
};

} // namespace lumetra::mpeg::layer3_tables
""" % (
        "\n".join(long_rows), "\n".join(short_rows),
        row(pretab), floats(alias_c),
        "{" + ", ".join(row(s) for s in slen) + "}",
        "{" + ", ".join("{" + ", ".join(row(g) for g in t) + "}" for t in nsfb) + "}",
        "\n".join(rules),
        floats(is1["k_left"]), floats(is1["k_right"]),
        floats(["1.0"] + is2["intensity_scale_0"]), floats(["1.0"] + is2["intensity_scale_1"]),
    )
    with open(out, "w", encoding="ascii") as f:
        f.write(text)


if __name__ == "__main__":
    main()
