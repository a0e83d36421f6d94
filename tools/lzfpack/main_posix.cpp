// lzfpack on POSIX systems: arguments and names are bytes, passed through as they are.
#include <exception>
#include <iostream>

#include "libs/prynn/system_files.h"
#include "tools/lzfpack/lzfpack.h"
#include "trust/sign_openssl.h"

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        prynn::SystemFiles files;
        lzfpack::SystemFolderLister lister;
        return lzfpack::RunLzfpack(args, files, lister, std::cout, std::cerr,
                                   tavrin::SignRsaSha256);
    } catch (const std::exception& e) {
        std::cerr << "lzfpack: " << e.what() << "\n";
        return lzfpack::kExitFailed;
    }
}
