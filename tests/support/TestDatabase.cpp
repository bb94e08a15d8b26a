#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef QUELVOR_SCHEMA_DIR
#error "QUELVOR_SCHEMA_DIR must name the folder that holds coleta.sql and tarvell.sql"
#endif

extern char** environ;

namespace quelvor::test {
namespace {

constexpr const char* kUser = "KORVA";
constexpr const char* kPassword = "##738460";
constexpr const char* kIsql = "isql-fb";
constexpr const char* kSysdbaPasswordFile = "/etc/firebird/3.0/SYSDBA.password";

struct IsqlResult
{
    int exitCode = -1;
    std::string output; // stdout and stderr, interleaved as isql wrote them
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Writes the script to a file of its own in `folder` and runs
//   isql-fb -q -b -ch UTF8 <args...> -i <file> [database]
// The script files are UTF-8, like the schema files, and -b makes isql stop
// at the first failing statement with a non-zero exit code.
IsqlResult runIsql(const std::string& folder, const std::string& script, const std::string& database)
{
    std::string scriptPath = folder + "/script-XXXXXX.sql";
    int scriptFd = mkstemps(scriptPath.data(), 4);
    if (scriptFd < 0) {
        throw std::system_error(errno, std::generic_category(), "cannot create a script file in " + folder);
    }
    const char* data = script.data();
    std::size_t left = script.size();
    while (left > 0) {
        ssize_t n = write(scriptFd, data, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            int error = errno;
            close(scriptFd);
            unlink(scriptPath.c_str());
            throw std::system_error(error, std::generic_category(), "cannot write " + scriptPath);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    close(scriptFd);

    std::vector<std::string> args = {kIsql, "-q", "-b", "-ch", "UTF8"};
    if (!database.empty()) {
        args.insert(args.end(), {"-user", kUser, "-password", kPassword});
    }
    args.insert(args.end(), {"-i", scriptPath});
    if (!database.empty()) {
        args.push_back(database);
    }
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        int error = errno;
        unlink(scriptPath.c_str());
        throw std::system_error(error, std::generic_category(), "cannot make a pipe for isql");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    pid_t pid = 0;
    int spawnError = posix_spawnp(&pid, kIsql, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawnError != 0) {
        close(pipeFds[0]);
        unlink(scriptPath.c_str());
        throw std::system_error(spawnError, std::generic_category(), std::string("cannot start ") + kIsql);
    }

    IsqlResult result;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    unlink(scriptPath.c_str());
    return result;
}

std::string trim(const std::string& text)
{
    const char* blanks = " \t\r\n";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Drops the database when its file exists and removes the folder. Returns
// isql's complaint when the drop failed, empty otherwise.
std::string dropAndRemove(const std::string& folder, const std::string& filePath,
                          const std::string& connectionString)
{
    std::string complaint;
    std::error_code ignored;
    if (std::filesystem::exists(filePath, ignored)) {
        try {
            IsqlResult dropped = runIsql(folder, "DROP DATABASE;\n", connectionString);
            if (dropped.exitCode != 0) {
                complaint = dropped.output.empty() ? "isql failed" : dropped.output;
            }
        } catch (const std::exception& e) {
            complaint = e.what();
        }
    }
    std::filesystem::remove_all(folder, ignored);
    return complaint;
}

} // namespace

TestDatabase::TestDatabase(Kind kind, bool demoData)
{
    // Under /tmp rather than $TMPDIR: the server, running as firebird, must
    // be able to reach the folder.
    char folderTemplate[] = "/tmp/quelvor-test-XXXXXX";
    if (mkdtemp(folderTemplate) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "cannot create a folder under /tmp");
    }
    m_folder = folderTemplate;
    // The server creates the file, so it needs to write here. chown works
    // only for root; the open mode is what lets any other user run the tests.
    chmod(m_folder.c_str(), 0777);
    if (const passwd* firebird = getpwnam("firebird")) {
        if (chown(m_folder.c_str(), firebird->pw_uid, firebird->pw_gid) != 0) {
            // Not root: the mode above is enough.
        }
    }

    const std::string base = kind == Kind::Coleta ? "coleta" : "tarvell";
    m_filePath = m_folder + "/" + base + ".fdb";
    m_connectionString = "localhost:" + m_filePath;

    try {
        const std::string schemaDir = QUELVOR_SCHEMA_DIR;
        std::string script = "SET SQL DIALECT 3;\n"
                             "CREATE DATABASE '" +
                             m_connectionString + "' USER '" + kUser + "' PASSWORD '" + kPassword +
                             "' PAGE_SIZE 8192 DEFAULT CHARACTER SET WIN1252;\n";
        script += readFile(schemaDir + "/" + base + ".sql");
        if (demoData) {
            script += "\n" + readFile(schemaDir + "/" + base + "_demo.sql");
        }
        IsqlResult created = runIsql(m_folder, script, {});
        if (created.exitCode != 0) {
            throw std::runtime_error("cannot create the test database " + m_connectionString + ":\n" +
                                     created.output);
        }
    } catch (...) {
        dropAndRemove(m_folder, m_filePath, m_connectionString);
        throw;
    }
}

TestDatabase::~TestDatabase()
{
    try {
        std::string complaint = dropAndRemove(m_folder, m_filePath, m_connectionString);
        if (!complaint.empty()) {
            ADD_FAILURE() << "cannot drop the test database " << m_connectionString
                          << " (is an attachment still open?):\n"
                          << complaint;
        }
    } catch (...) {
    }
}

std::string TestDatabase::user() const
{
    return kUser;
}

std::string TestDatabase::password() const
{
    return kPassword;
}

void TestDatabase::execScript(const std::string& sql) const
{
    runOnDatabase(sql);
}

std::string TestDatabase::queryText(const std::string& sql) const
{
    std::istringstream output(runOnDatabase("SET HEADING OFF;\n" + sql));
    std::string text;
    std::string line;
    while (std::getline(output, line)) {
        line = trim(line);
        if (line.empty()) {
            continue;
        }
        if (!text.empty()) {
            text += '\n';
        }
        text += line;
    }
    return text;
}

std::string TestDatabase::runOnDatabase(const std::string& sql) const
{
    IsqlResult result = runIsql(m_folder, "SET BAIL ON;\n" + sql + "\nCOMMIT;\n", m_connectionString);
    if (result.exitCode != 0) {
        throw std::runtime_error("isql failed on " + m_connectionString + ":\n" + result.output);
    }
    return result.output;
}

std::string sysdbaPassword()
{
    std::ifstream in(kSysdbaPasswordFile);
    std::string line;
    const std::string key = "ISC_PASSWORD=";
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.compare(0, key.size(), key) != 0) {
            continue;
        }
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    }
    return {};
}

} // namespace quelvor::test
