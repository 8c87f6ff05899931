// Assimp 5.2 leaks a few small blocks of its own when it reads an FBX file
// with blend-shape animation (it does the same with nothing but
// Importer::ReadFile). The leak checker of the sanitizer build is told to
// leave out leaks allocated inside Assimp; everything else is still checked.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libassimp.so\n";
}
