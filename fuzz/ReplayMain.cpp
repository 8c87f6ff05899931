// Runs a fuzz target over files, without the fuzzing engine: each argument
// is a file or a folder of files (a corpus), each file one input. The test
// suite replays the committed corpora this way in every build.
#include <dirent.h>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size);

namespace {

void Run(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

} // namespace

int main(int argc, char** argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        struct stat st;
        if (stat(argv[i], &st) != 0) {
            std::cerr << argv[i] << ": no such file or folder\n";
            return 1;
        }
        if (!S_ISDIR(st.st_mode)) {
            Run(argv[i]);
            ++count;
            continue;
        }
        DIR* dir = opendir(argv[i]);
        while (const dirent* e = dir ? readdir(dir) : nullptr) {
            const std::string path = std::string(argv[i]) + "/" + e->d_name;
            if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                Run(path);
                ++count;
            }
        }
        if (dir) {
            closedir(dir);
        }
    }
    std::cout << count << " inputs replayed\n";
    return count > 0 ? 0 : 1;
}
