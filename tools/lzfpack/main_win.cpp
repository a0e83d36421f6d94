// lzfpack on Windows: the arguments come as UTF-16 (any file name works) and go on as UTF-8;
// what it prints goes out in the ANSI code page, as a console program's text does.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <exception>
#include <sstream>
#include <stdexcept>
#include <string>

#include "libs/prynn/system_files.h"
#include "tools/lzfpack/lzfpack.h"
#include "win/code_page.h"

namespace {

// Frees what CommandLineToArgvW returned.
class ArgumentList {
public:
    ArgumentList() : m_args(::CommandLineToArgvW(::GetCommandLineW(), &m_count)) {}
    ~ArgumentList() {
        if (m_args) ::LocalFree(m_args);
    }
    ArgumentList(const ArgumentList&) = delete;
    ArgumentList& operator=(const ArgumentList&) = delete;
    int count() const { return m_args ? m_count : 0; }
    const wchar_t* operator[](int i) const { return m_args[i]; }

private:
    int m_count = 0;
    wchar_t** m_args;
};

void Print(FILE* stream, const std::string& utf8) {
    const std::string text = win::WideToAnsi(win::Utf8ToWide(utf8));
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

int main() {
    std::ostringstream out, err;
    int code = lzfpack::kExitFailed;
    try {
        ArgumentList list;
        std::vector<std::string> args;
        for (int i = 1; i < list.count(); ++i) {
            // A name changed on the way would pack or write another file than the one named.
            win::Converted<std::string> arg = win::FromWide(list[i], CP_UTF8);
            if (!arg.exact) throw std::runtime_error("argument " + std::to_string(i) +
                                                     " is not a valid Unicode name");
            args.push_back(std::move(arg.text));
        }
        prynn::SystemFiles files;
        lzfpack::SystemFolderLister lister;
        code = lzfpack::RunLzfpack(args, files, lister, out, err);
    } catch (const std::exception& e) {
        err << "lzfpack: " << e.what() << "\n";
    }
    Print(stdout, out.str());
    Print(stderr, err.str());
    return code;
}
