// A run's own home. What a test, or a process it starts, keeps for its user (the journal,
// settings, caches) or puts in a temporary folder lands in one folder made for the run under
// $TMPDIR and removed when the run ends: HOME, the XDG folders and TMPDIR all point into it.
// Started processes inherit the variables; a test executable among them makes its own folder
// inside this one, so whatever a killed child leaves goes with its parent's.
// Plain C++: the simulator's tests and the benchmarks use it without Qt.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace kivrel::test
{

class ScratchHome
{
  public:
    ScratchHome()
    {
        namespace fs = std::filesystem;
        const char *tmp = std::getenv("TMPDIR");
        std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/kivrel-run-XXXXXX";
        if (!::mkdtemp(name.data())) {
            std::perror(("cannot make the run's folder " + name).c_str());
            return;
        }
        root_ = name;
        const struct {
            const char *variable, *folder;
        } places[] = {
            {"HOME", "home"},
            {"XDG_DATA_HOME", "home/.local/share"},
            {"XDG_CONFIG_HOME", "home/.config"},
            {"XDG_CACHE_HOME", "home/.cache"},
            {"XDG_STATE_HOME", "home/.local/state"},
            {"XDG_RUNTIME_DIR", "runtime"}, // Qt wants it private to the user
            {"TMPDIR", "tmp"},
        };
        for (const auto &p : places) {
            const fs::path dir = root_ / p.folder;
            std::error_code error;
            fs::create_directories(dir, error);
            if (error) {
                std::fprintf(stderr, "cannot make %s: %s\n", dir.c_str(), error.message().c_str());
                return;
            }
            ::setenv(p.variable, dir.c_str(), 1);
        }
        std::error_code error;
        fs::permissions(root_ / "runtime", fs::perms::owner_all, error);
        ok_ = !error;
    }
    ~ScratchHome()
    {
        std::error_code error;
        if (!root_.empty()) std::filesystem::remove_all(root_, error);
    }
    ScratchHome(const ScratchHome &) = delete;
    ScratchHome &operator=(const ScratchHome &) = delete;

    // False when the folder or the variables could not be set up: the run must not go on
    // in the user's own folders.
    bool ok() const { return ok_; }

  private:
    std::filesystem::path root_;
    bool ok_ = false;
};

} // namespace kivrel::test
