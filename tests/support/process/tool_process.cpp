#include "support/process/tool_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace ztest {

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<char *> argv_of(std::vector<std::string> &storage) {
    std::vector<char *> argv;
    for (std::string &s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    return argv;
}

// In the child, before exec: the bounds, which exec keeps, as does the ignored SIGXFSZ.
void limit(const ProcessLimits &limits) {
    if (limits.memory_bytes != 0 && memory_can_be_limited()) {
        const rlimit r{limits.memory_bytes, limits.memory_bytes};
        ::setrlimit(RLIMIT_AS, &r);
    }
    if (limits.file_bytes != 0) {
        const rlimit r{limits.file_bytes, limits.file_bytes};
        ::setrlimit(RLIMIT_FSIZE, &r);
        ::signal(SIGXFSZ, SIG_IGN);
    }
    if (limits.seconds != 0) ::alarm(limits.seconds);
}

// In the child: move to `dir`, wire the standard streams, take on `as`, run `program`.
[[noreturn]] void exec_in(const fs::path &dir, const fs::path &out, const fs::path &err,
                          std::vector<std::string> storage, const std::optional<RunAs> &as,
                          const ProcessLimits &limits = {}) {
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    const int in = ::open("/dev/null", O_RDONLY);
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(in, 0);
    ::dup2(o, 1);
    ::dup2(e, 2);
    become(as);
    limit(limits);
    std::vector<char *> argv = argv_of(storage);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

} // namespace

bool memory_can_be_limited() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return false;
#else
    return true;
#endif
}

bool program_built(const std::string &program) {
    if (fs::exists(program)) return true;
    ADD_FAILURE() << program << " is missing: build it first";
    return false;
}

ToolOutcome run_program(const std::string &program, const std::vector<std::string> &args,
                        const fs::path &dir, const std::optional<RunAs> &as,
                        const ProcessLimits &limits) {
    if (!program_built(program)) return {};
    const fs::path out = dir / ".tool.out", err = dir / ".tool.err";
    std::vector<std::string> storage{program};
    storage.insert(storage.end(), args.begin(), args.end());
    const pid_t pid = ::fork();
    if (pid == 0) exec_in(dir, out, err, storage, as, limits);
    ToolOutcome o;
    int wstatus = 0;
    if (pid > 0 && ::waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus))
        o.status = WEXITSTATUS(wstatus);
    o.out = slurp(out);
    o.err = slurp(err);
    fs::remove(out);
    fs::remove(err);
    return o;
}

BackgroundProgram::BackgroundProgram(const std::string &program,
                                     const std::vector<std::string> &args, const fs::path &dir,
                                     const std::optional<RunAs> &as) {
    if (!program_built(program)) return;
    std::vector<std::string> storage{program};
    storage.insert(storage.end(), args.begin(), args.end());
    pid_ = ::fork();
    if (pid_ == 0) exec_in(dir, "/dev/null", "/dev/null", storage, as);
}

bool BackgroundProgram::running() {
    if (pid_ <= 0) return false;
    int wstatus = 0;
    if (::waitpid(pid_, &wstatus, WNOHANG) != pid_) return true;
    pid_ = -1;
    return false;
}

void BackgroundProgram::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

SharedPrograms::SharedPrograms(const std::vector<std::string> &programs) : programs_(programs) {
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
    for (const std::string &p : programs)
        fs::copy_file(p, (*this)[p], fs::copy_options::overwrite_existing);
}

std::string SharedPrograms::operator[](const std::string &program) const {
    return (dir_.path() / fs::path(program).filename()).string();
}

std::string SharedPrograms::unusable_by(const std::optional<RunAs> &as) const {
    for (const std::string &p : programs_) {
        const ToolOutcome o = run_program((*this)[p], {"--version"}, dir_.path(), as);
        if (o.status != 0)
            return "the user cannot run a copy of " + p + " from " + dir_.path().string() +
                   " (status " + std::to_string(o.status) + "): " + o.err;
    }
    return {};
}

namespace {

std::vector<std::string> with_flash(const fs::path &flash, std::vector<std::string> options) {
    options.insert(options.begin(), {"--flash-file", flash.string()});
    return options;
}

} // namespace

BoardDaemon::BoardDaemon(const std::string &program, const fs::path &, const fs::path &flash,
                         const std::vector<std::string> &options, const std::optional<RunAs> &as)
    : sim_(program, with_flash(flash, options), as) {
    program_built(program);
}

std::string BoardDaemon::terminal() const {
    std::error_code ec;
    return fs::read_symlink(sim_.link(), ec).string();
}

} // namespace ztest
