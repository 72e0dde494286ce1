#include "mpeg/synthesis_window.h"

#include "mpeg/embedded_text.h"

#include <cstdio>

namespace lumetra::mpeg {

bool ReadSynthesisWindow(float window[512], TableReport* report)
{
    FILE* in = OpenEmbeddedText("dewindow");
    if (!in) {
        if (report)
            report->Fail("Please check synthesis window table 'dewindow'\n", 1);
        return false;
    }
    char line[151];
    for (int n = 0; n < 128; ++n) {
        int index[4] = {-1, -1, -1, -1};
        double value[4] = {};
        if (std::fgets(line, sizeof line, in))
            std::sscanf(line, "D[%d] = %lf D[%d] = %lf D[%d] = %lf D[%d] = %lf\n", &index[0], &value[0], &index[1],
                        &value[1], &index[2], &value[2], &index[3], &value[3]);
        if (index[0] != 4 * n) {
            CloseEmbeddedText(in);
            if (report)
                report->Fail("Check index in synthesis window table\n", 1);
            return false;
        }
        for (int k = 0; k < 4; ++k)
            window[4 * n + k] = static_cast<float>(value[k]);
        std::fgets(line, sizeof line, in);
    }
    CloseEmbeddedText(in);
    return true;
}

} // namespace lumetra::mpeg
