#pragma once

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <unistd.h>

// A PostgreSQL server of Debian's postgresql package, made with initdb in a temporary folder
// and started with pg_ctl, listening on a Unix socket in that folder only. When the tests run
// as root, the server runs as the unprivileged user `catalogrium-test` (created when missing),
// since PostgreSQL refuses to run as root. Stopped and removed when dropped (a kept folder is
// only stopped).
class PostgresServer {
public:
    static constexpr const char* kUser = "catalogrium-test";

    static bool Installed() { return !InstalledBinaries().empty(); }

    // With `keptFolder`, the server's folder is that one, made when missing and kept: a later
    // server of the same folder starts on the same data.
    explicit PostgresServer(const std::string& settings = "-c fsync=off",
                            const std::string& keptFolder = "")
        : m_kept(!keptFolder.empty()) {
        m_bin = FindBinaries();
        if (m_kept) {
            std::filesystem::create_directories(keptFolder);
            m_dir = keptFolder;
        } else {
            std::string pattern = (std::filesystem::temp_directory_path() / "ctlgrm-pg-XXXXXX");
            if (!::mkdtemp(pattern.data()))
                throw std::runtime_error("mkdtemp failed");
            m_dir = pattern;
        }
        m_asUser = ::geteuid() == 0 ? RootPrefix() : "";
        if (!std::filesystem::exists(m_dir + "/data/PG_VERSION"))
            Run(m_bin + "/initdb -D " + Quote(m_dir + "/data") +
                " -U postgres -A trust -E UTF8 --locale=C.UTF-8 >" + Quote(m_dir + "/initdb.log") +
                " 2>&1");
        Run(m_bin + "/pg_ctl -D " + Quote(m_dir + "/data") + " -l " + Quote(m_dir + "/server.log") +
            " -w -o " + Quote("-c listen_addresses='' -k " + m_dir + " " + settings) +
            " start >/dev/null");
    }
    ~PostgresServer() {
        std::system((m_asUser + m_bin + "/pg_ctl -D " + Quote(m_dir + "/data") + " -m " +
                     (m_kept ? "fast" : "immediate") + " -w stop >/dev/null 2>&1")
                        .c_str());
        std::error_code ec;
        if (!m_kept)
            std::filesystem::remove_all(m_dir, ec);
    }
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // The connection URI of `database` on this server.
    std::string Uri(const std::string& database = "postgres") const {
        return "postgresql:///" + database + "?host=" + m_dir + "&user=postgres";
    }
    const std::string& SocketFolder() const { return m_dir; }

private:
    static std::string Quote(const std::string& text) { return "'" + text + "'"; }

    // The newest installed server version's programs; empty when there is none.
    static std::string InstalledBinaries() {
        std::string best;
        std::error_code ec;
        for (const auto& v : std::filesystem::directory_iterator("/usr/lib/postgresql", ec))
            if (std::filesystem::exists(v.path() / "bin/initdb") &&
                (best.empty() || std::stoi(v.path().filename()) > std::stoi(best)))
                best = v.path().filename();
        return best.empty() ? std::string() : "/usr/lib/postgresql/" + best + "/bin";
    }

    static std::string FindBinaries() {
        std::string bin = InstalledBinaries();
        if (bin.empty())
            throw std::runtime_error("no PostgreSQL server: run scripts/install-deps.sh");
        return bin;
    }

    // Creates the user when missing, hands it the folder, and runs commands as it.
    std::string RootPrefix() {
        if (!::getpwnam(kUser))
            Run(std::string("useradd --system --no-create-home --shell /usr/sbin/nologin ") +
                kUser);
        Run("chown " + std::string(kUser) + ": " + Quote(m_dir));
        return "setpriv --reuid=" + std::string(kUser) + " --regid=" + kUser +
               " --clear-groups -- ";
    }

    void Run(const std::string& command) const {
        if (std::system((m_asUser + command).c_str()) != 0)
            throw std::runtime_error("failed: " + command + " (see " + m_dir + ")");
    }

    bool m_kept;
    std::string m_bin;
    std::string m_dir;
    std::string m_asUser;
};

// Skips the test, saying why, where no PostgreSQL server is installed; the README's test
// command installs one, so that CI runs every test.
#define SKIP_WITHOUT_POSTGRES()                                                                    \
    if (!PostgresServer::Installed())                                                              \
    GTEST_SKIP() << "no PostgreSQL server is installed: scripts/install-deps.sh installs one"
