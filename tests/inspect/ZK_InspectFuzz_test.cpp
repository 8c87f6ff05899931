// Mutated MDD and ZSC files: truncations, bit flips, overwritten and
// inserted bytes. The readers must answer every one with a result or a
// one-line error, and whatever they accept must print as valid JSON. Meant to
// run under the address and undefined-behaviour sanitizers.
#include "inspect/ZK_Inspect.h"

#include "writers/ZSCFile.h"

#include "ZK_JsonCheck.h"
#include "ZK_TestFiles.h"
#include "ZK_TestScene.h"

#include <random>
#include <sstream>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ValidZsc(int frames) {
    ZK_ScratchDir dir;
    ZK_TestScene scene(1, frames, 24.0f);
    scene.ctrl.mddAct = 1;
    scene.Motion(ZK_MOT_CAMERAS | ZK_MOT_LIGHTS | ZK_MOT_NULLS | ZK_MOT_OBJECTS);
    for (int fovType : {0, 2}) {
        CameraFrame_st* m = scene.AddCamera("cam", 1.0f);
        scene.cameras.back().fovType = fovType;
        for (int k = 0; k < frames; ++k)
            m[k].fov = 0.5f;
    }
    scene.AddLight("light");
    scene.AddNull("null");
    scene.AddObject("ball", "/l/ball.lwo", "/m/ball.mdd");
    const std::string path = dir.File("f.zsc");
    EXPECT_EQ(scene.Write(WriteZSC, path), 1);
    return ZK_ReadBytes(path);
}

Bytes ValidMdd() {
    // 3 frames, 2 points.
    Bytes bytes = ZK_Hex("00 00 00 03 00 00 00 02 3D 08 88 89 3D 88 88 89 3D CC CC CD");
    for (int i = 0; i < 4 * 6; ++i)
        bytes = bytes + ZK_Hex(i % 2 ? "3F 80 00 00" : "C1 20 00 00");
    return bytes;
}

Bytes Mutate(Bytes bytes, std::mt19937& rng) {
    const auto pick = [&](size_t n) {
        return n == 0 ? size_t{0} : std::uniform_int_distribution<size_t>(0, n - 1)(rng);
    };
    const int steps = 1 + static_cast<int>(pick(4));
    for (int s = 0; s < steps; ++s) {
        switch (pick(5)) {
        case 0: // truncate
            bytes.resize(pick(bytes.size() + 1));
            break;
        case 1: // flip a bit
            if (!bytes.empty())
                bytes[pick(bytes.size())] ^= static_cast<unsigned char>(1u << pick(8));
            break;
        case 2: { // overwrite a byte with a telling value
            static const unsigned char values[] = {0x00, 0x01, 0x02, 0x03, 0x7F, 0x80, 0xFF};
            if (!bytes.empty())
                bytes[pick(bytes.size())] = values[pick(sizeof values)];
            break;
        }
        case 3: { // insert bytes
            const size_t at = pick(bytes.size() + 1);
            bytes.insert(bytes.begin() + static_cast<long>(at), 1 + pick(8),
                         static_cast<unsigned char>(pick(256)));
            break;
        }
        default: { // remove a 4-byte value
            const size_t at = pick(bytes.size() + 1);
            const size_t end = std::min(bytes.size(), at + 4);
            bytes.erase(bytes.begin() + static_cast<long>(at),
                        bytes.begin() + static_cast<long>(end));
            break;
        }
        }
    }
    return bytes;
}

TEST(InspectFuzz, MutatedFilesNeverBreakTheReaders) {
    std::mt19937 rng(20240611);
    const std::vector<Bytes> zscSeeds = {ValidZsc(1), ValidZsc(3)};
    const Bytes mddSeed = ValidMdd();
    int accepted = 0;
    for (int round = 0; round < 4000; ++round) {
        const Bytes& seed = round % 3 == 2 ? mddSeed : zscSeeds[round % 2];
        const Bytes bytes = Mutate(seed, rng);
        std::string error;
        std::ostringstream json, summary;
        bool ok = false;
        if (round % 3 == 2) {
            ZK_MddFile mdd;
            ok = ZK_ParseMdd(bytes.data(), bytes.size(), &mdd, &error);
            if (ok) {
                ZK_PrintMddJson(json, mdd);
                ZK_PrintMddSummary(summary, mdd);
            }
        } else {
            ZK_ZscFile zsc;
            ok = ZK_ParseZsc(bytes.data(), bytes.size(), &zsc, &error);
            if (ok) {
                ZK_PrintZscJson(json, zsc);
                ZK_PrintZscSummary(summary, zsc);
            }
        }
        if (ok) {
            ++accepted;
            ASSERT_TRUE(ZK_JsonCheck::Valid(json.str())) << "round " << round;
        } else {
            ASSERT_FALSE(error.empty()) << "round " << round;
            ASSERT_EQ(error.find('\n'), std::string::npos) << "round " << round;
        }
    }
    // Flips inside sample values leave a file readable: some must pass.
    EXPECT_GT(accepted, 0);
}

} // namespace
