// The MDD reader and its printers on any bytes.
#include "inspect/ZK_Inspect.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    ZK_MddFile mdd;
    std::string error;
    if (ZK_ParseMdd(data, size, &mdd, &error)) {
        std::ostringstream out;
        ZK_PrintMddSummary(out, mdd);
        ZK_PrintMddJson(out, mdd);
    }
    return 0;
}
