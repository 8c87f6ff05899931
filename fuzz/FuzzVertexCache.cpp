// The vertex-cache readers on any bytes: the first byte chooses what the
// rest is (a .pc2 file, Maya cache data of either width, or a Maya cache
// description) and the point count the mesh has; what opens is then read
// at frames before, on, between and after its samples.
#include "host/import/fbx/VertexCache.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const unsigned mode = data[0] % 3;
    const size_t points = (data[0] >> 2) % 8; // 0 to 7 points
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        if (mode == 2) {
            host::ReadMayaCacheXml(bytes, "fuzz.xml", "s");
            return 0;
        }
        host::CacheLayout layout;
        layout.files = {"fuzz"};
        const auto file = host::CacheBytesInMemory("fuzz", bytes);
        if (mode == 0) {
            host::ScanPc2(*file, points, &layout.samples);
        } else {
            host::ScanMayaCacheData(*file, 0, "s", points, 250.0, &layout.samples);
        }
        std::vector<std::unique_ptr<host::CacheBytes>> files;
        files.push_back(host::CacheBytesInMemory("fuzz", bytes));
        const std::vector<host::Vec3> rest(points, host::Vec3{1, 2, 3});
        host::VertexCache cache(layout, std::move(files),
                                host::PointArray::Build(points,
                                                        [&](host::Vec3* out) {
                                                            for (size_t i = 0; i < points; ++i)
                                                                out[i] = rest[i];
                                                        }),
                                250.0, 0.0, host::Mat34{}, [](const std::string&) {});
        std::vector<host::Vec3> out(points);
        for (double frame : {-1e9, -1.0, 0.0, 0.5, 1.0, 1.25, 2.0, 7.5, 1e9}) {
            cache.ReadPoints(frame, out.data());
        }
    } catch (const host::VertexCacheError&) {
    }
    return 0;
}
