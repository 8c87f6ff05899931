// The worker pool and the cache writer's second thread, run under the
// thread sanitizer: loops over shared input into shared output in fixed
// ranges, an error thrown from a range, a pool made and dropped between
// loops, and pieces written by the second thread while the next ones are
// filled, checked against the same pieces written inline.
#include "geometry/MDDCacheWriter.h"
#include "host/scene/Workers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s\n", what);
        ++g_failures;
    }
}

void PoolLoops() {
    std::vector<double> in(100000);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<double>(i) * 0.5;
    std::vector<double> out(in.size());
    for (int threads : {2, 3}) {
        host::WorkerPool pool(threads);
        for (int frame = 0; frame < 20; ++frame) {
            pool.ForRanges(in.size(), 4096, [&](size_t begin, size_t end) {
                for (size_t i = begin; i < end; ++i)
                    out[i] = in[i] * frame + 1.0;
            });
            bool same = true;
            for (size_t i = 0; i < in.size(); ++i)
                same = same && out[i] == in[i] * frame + 1.0;
            Check(same, "every point evaluated once per loop");
        }
        bool thrown = false;
        try {
            pool.ForRanges(in.size(), 1000, [](size_t begin, size_t) {
                if (begin == 50000)
                    throw std::runtime_error("range");
            });
        } catch (const std::runtime_error&) {
            thrown = true;
        }
        Check(thrown, "an error in a range reaches the caller");
    }
}

// Four frames of seven objects' blocks, each object's own file: big blocks in
// several pieces filled on the second thread (or by the caller while it
// would wait) from memory kept for them,
// small ones held when asked, several frames' pieces in flight at once; the
// files joined in order.
std::vector<unsigned char> WriteAll(bool pipelined, bool hold) {
    // The first object alone has more pieces than the second thread takes
    // at once, so the caller fills some of them itself.
    const size_t blocks[] = {10 * 98304 + 30, 98304, 5000, 10, 98304, 12, 40000};
    FILE* files[7];
    for (FILE*& file : files)
        file = std::tmpfile();
    {
        MDDCacheWriter writer(pipelined, hold);
        uint32_t value = 0;
        for (int frame = 0; frame < 4; ++frame) {
            writer.NextFrame();
            for (size_t o = 0; o < 7; ++o) {
                // The values the fills copy, kept until they are written.
                auto source = std::make_shared<std::vector<uint32_t>>(blocks[o]);
                for (uint32_t& v : *source)
                    v = value++;
                for (size_t start = 0; start < blocks[o]; start += 98304) {
                    const size_t words = std::min<size_t>(98304, blocks[o] - start);
                    const uint32_t* in = source->data() + start;
                    writer.AddPiece(files[o], words, blocks[o], [in, words](uint32_t* out) {
                        std::memcpy(out, in, words * sizeof(uint32_t));
                    });
                }
                writer.Keep(std::move(source));
            }
            // Pieces of the next frame may follow before these are out.
            if (frame % 2 == 1)
                writer.Finish();
        }
    }
    std::vector<unsigned char> all;
    for (FILE* file : files) {
        std::vector<unsigned char> bytes(static_cast<size_t>(std::ftell(file)));
        std::rewind(file);
        Check(std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size(), "read back");
        std::fclose(file);
        all.insert(all.end(), bytes.begin(), bytes.end());
    }
    return all;
}

} // namespace

int main() {
    PoolLoops();
    const std::vector<unsigned char> plain = WriteAll(false, false);
    Check(WriteAll(true, false) == plain, "pipelined and inline writes give the same bytes");
    Check(WriteAll(true, true) == plain, "held small blocks give the same bytes");
    if (g_failures == 0)
        std::printf("ok\n");
    return g_failures == 0 ? 0 : 1;
}
