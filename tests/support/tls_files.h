// What a plant's broker asks of a publisher, made for a test in its own folder: CAs and
// certificates signed by them (openssl, EC keys without a passphrase) and mosquitto's password
// file (mosquitto_passwd). Plain C++ and POSIX, for the tests and the benchmarks alike.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kivrel::test
{

// Runs `args` with stdin, stdout and stderr on /dev/null; its exit status, -1 when it could not
// be started or did not end by itself.
inline int runQuietly(const std::vector<std::string> &args)
{
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    for (int fd = 0; fd <= 2; ++fd)
        posix_spawn_file_actions_addopen(&quiet, fd, "/dev/null", fd ? O_WRONLY : O_RDONLY, 0);
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const bool started = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&quiet);
    int status = 0;
    if (!started || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The files are FOLDER/NAME.pem (the certificate) and FOLDER/NAME.key (its key).
class TlsFiles
{
  public:
    explicit TlsFiles(std::string folder) : folder_(std::move(folder)) {}

    // A CA of its own, "CN=NAME"; true once made.
    bool ca(const std::string &name)
    {
        return make(name, {"-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                           "keyUsage=critical,keyCertSign,cRLSign"});
    }
    // A certificate "CN=NAME" signed by the CA `by`, with the subjectAltName `san`
    // ("IP:127.0.0.1"; none when empty); true once made.
    bool signedBy(const std::string &name, const std::string &by, const std::string &san = {})
    {
        std::vector<std::string> more{"-CA",   pem(by),   "-CAkey",
                                      key(by), "-addext", "basicConstraints=CA:FALSE"};
        if (!san.empty()) more.insert(more.end(), {"-addext", "subjectAltName=" + san});
        return make(name, more);
    }
    std::string pem(const std::string &name) const { return folder_ + "/" + name + ".pem"; }
    std::string key(const std::string &name) const { return folder_ + "/" + name + ".key"; }

    // mosquitto's password file FOLDER/NAME.passwd with one account; true once made.
    bool passwords(const std::string &name, const std::string &user, const std::string &password)
    {
        return runQuietly({"mosquitto_passwd", "-c", "-b", passwd(name), user, password}) == 0;
    }
    std::string passwd(const std::string &name) const { return folder_ + "/" + name + ".passwd"; }

  private:
    bool make(const std::string &name, const std::vector<std::string> &more)
    {
        std::vector<std::string> args;
        std::istringstream fixed("openssl req -x509 -newkey ec -pkeyopt "
                                 "ec_paramgen_curve:prime256v1 -nodes -days 2");
        for (std::string word; fixed >> word;)
            args.push_back(word);
        args.insert(args.end(), {"-subj", "/CN=" + name, "-keyout", key(name), "-out", pem(name)});
        args.insert(args.end(), more.begin(), more.end());
        return runQuietly(args) == 0;
    }

    std::string folder_;
};

} // namespace kivrel::test
