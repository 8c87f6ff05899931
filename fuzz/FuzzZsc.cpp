// The ZSC reader and its printers on any bytes.
#include "inspect/ZK_Inspect.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    ZK_ZscFile zsc;
    std::string error;
    if (ZK_ParseZsc(data, size, &zsc, &error)) {
        std::ostringstream out;
        ZK_PrintZscSummary(out, zsc);
        ZK_PrintZscJson(out, zsc);
    }
    return 0;
}
