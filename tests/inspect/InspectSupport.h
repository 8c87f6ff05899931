// Helpers of the reader tests: printed text, MDD files built here, and JSON
// checked by a real reader (Python's json module).
#pragma once

#include "inspect/ZK_Inspect.h"

#include "RecordKit.h"

#include <cstring>

using namespace zkt;

template <class File>
std::string Print(void (*printer)(std::ostream&, const File&), const File& file) {
    std::ostringstream out;
    printer(out, file);
    return out.str();
}

// True when every text is one JSON value to Python's strict reader, told to
// refuse NaN and Infinity too; the reader names each text it refuses.
inline bool JsonValid(const std::vector<std::string>& texts) {
    ScratchDir dir;
    std::ofstream(dir / "check.py")
        << "import json, sys\n"
           "def refuse(c): raise ValueError('not JSON: ' + c)\n"
           "failed = 0\n"
           "data = open(sys.argv[1], encoding='utf-8').read()\n"
           "for n, text in enumerate(data.split('\\0')[:-1]):\n"
           "    try: json.loads(text, parse_constant=refuse)\n"
           "    except ValueError as e: print('text', n, e); failed = 1\n"
           "sys.exit(failed)\n";
    std::ofstream texts_file(dir / "texts", std::ios::binary);
    for (const std::string& text : texts)
        texts_file << text << '\0';
    texts_file.close();
    return std::system(("python3 " + dir / "check.py" + " " + dir / "texts").c_str()) == 0;
}

// A distinct value for item (or block) i, sample (or point) k, field f.
inline float V(int i, int k, int f) {
    return static_cast<float>(i * 100 + k * 10 + f) * 0.25f - 3.0f;
}

// MDD bytes: F frames and P points, the times (1 + f) / 30, then the given
// number of frame blocks holding V(block, point, axis).
inline Bytes BuildMdd(int frames, int points, int blocks) {
    Bytes bytes;
    const auto put = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<unsigned char>(v >> shift));
    };
    const auto putFloat = [&](float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        put(v);
    };
    put(static_cast<uint32_t>(frames));
    put(static_cast<uint32_t>(points));
    for (int f = 0; f < frames; ++f)
        putFloat(static_cast<float>(1 + f) / 30.0f);
    for (int b = 0; b < blocks; ++b)
        for (int p = 0; p < points; ++p)
            for (int a = 0; a < 3; ++a)
                putFloat(V(b, p, a));
    return bytes;
}
