// Prints the option report of an .otp, .cod or .opt file. Messages go to
// standard error; the exit status is 1 when no report came back and 2 when a
// report came back after a message.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/text_case.h"
#include "optdump/option_dump.h"

namespace {

class NativeDumpHost : public OptDumpHost {
  public:
    explicit NativeDumpHost(std::string dir) : m_dir(std::move(dir)) {}

    void ShowMessage(int id, const std::string& arg) override {
        ShowLiteral(FormatMessageText(EnglishMessage(id), arg));
    }
    void ShowLiteral(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        ++messages;
    }
    std::string LibraryDir() override { return m_dir; }
    std::string CreateTempFile(const char* prefix) override {
        const char* tmp = std::getenv("TMPDIR");
        std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "XXXXXX";
        const int fd = mkstemp(&path[0]);
        if (fd < 0) return std::string();
        close(fd);
        return path;
    }
    void DeleteFile(const std::string& path) override { unlink(path.c_str()); }
    bool FileExists(const std::string& path) override { return access(path.c_str(), F_OK) == 0; }
    // Plug-ins are Windows libraries; this tool cannot load them.
    PluginResult RunMaskPlugin(const std::string&, uint8_t*, std::string*) override {
        return PluginResult::kNotLoadable;
    }

    int messages = 0;

  private:
    std::string m_dir;
};

std::string ProgramDir(const char* argv0) {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string self = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string(argv0);
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? std::string("./") : self.substr(0, slash + 1);
}

std::string Extension(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return "";
    return UpperAscii(path.substr(dot + 1));
}

int Usage() {
    std::fprintf(stderr,
                 "usage: optdump [-c CFG-FOLDER] FILE.otp [BODY]\n"
                 "       optdump [-c CFG-FOLDER] FILE.cod\n"
                 "       optdump [-c CFG-FOLDER] FILE.opt BODY\n"
                 "The chip configuration files (BODY.CFG) are looked for in CFG-FOLDER,\n"
                 "by default the folder of this program.\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = ProgramDir(argv[0]);
    int i = 1;
    if (i + 1 < argc && std::strcmp(argv[i], "-c") == 0) {
        dir = argv[i + 1];
        if (!dir.empty() && dir.back() != '/') dir += '/';
        i += 2;
    }
    if (i >= argc || argc - i > 2) return Usage();
    const std::string file = argv[i];
    const char* body = i + 1 < argc ? argv[i + 1] : nullptr;

    NativeDumpHost host(dir);
    OptionDumper dumper(host);
    const std::string ext = Extension(file);
    const char* report = nullptr;
    if (ext == "COD") {
        report = dumper.DumpCod(file.c_str());
    } else if (ext == "OPT") {
        if (!body) return Usage();
        report = dumper.DumpOpt(body, file.c_str());
    } else {
        report = dumper.DumpOtp(file.c_str(), body ? body : "ZK30P11C-4");
    }
    if (!report) return 1;
    std::fputs(report, stdout);
    return host.messages ? 2 : 0;
}
