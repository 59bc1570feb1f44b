// kdpack's entry: everything else is in RunKdpack.
#include "tools/kdpack/kdpack.h"

int main(int argc, char** argv) { return kd::kdpack::RunKdpack(argc, argv, stdout, stderr); }
