#include "unpack/unpack.h"

int main(int argc, char** argv) { return static_cast<int>(quill::run(argc, argv)); }
