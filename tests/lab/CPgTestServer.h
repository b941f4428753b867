#pragma once
// A throw-away PostgreSQL cluster for the lab tests and timed drivers: made
// with initdb in a temporary folder, run by an unprivileged user (nobody,
// when the tests run as root, since the server refuses root) on 127.0.0.1
// at a free port and a socket in the folder, and removed afterwards. TCP
// logins need a password (scram-sha-256), so a wrong one can be shown.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class CPgTestServer {
public:
    static constexpr const char* kBin = "/usr/lib/postgresql/15/bin/";
    static constexpr const char* kRole = "lab";
    static constexpr const char* kPassword = "lab-secret";

    explicit CPgTestServer(bool bFast = true)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "brevane-pg-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            return;
        m_strDir = pattern;
        ::chmod(m_strDir.c_str(), 0755);
        std::filesystem::create_directories(m_strDir + "/sock");
        if (::geteuid() == 0) {
            m_strAs = "runuser -u nobody -- ";
            Run("chown -R nobody " + m_strDir + "/sock");
            Run("mkdir -p " + m_strDir + "/data && chown nobody " + m_strDir + "/data");
        }
        m_nPort = FreePort();
        if (!Run(m_strAs + kBin + "initdb -N -D " + m_strDir + "/data -U postgres -E UTF8 --no-locale"
                 " --auth-local=trust --auth-host=scram-sha-256 >" + m_strDir + "/initdb.log 2>&1"))
            return;
        std::ofstream conf(m_strDir + "/data/postgresql.conf", std::ios::app);
        conf << "listen_addresses = '127.0.0.1'\nport = " << m_nPort << "\nunix_socket_directories = '"
             << m_strDir << "/sock'\nmax_connections = 40\n";
        if (bFast)
            conf << "fsync = off\nsynchronous_commit = off\nfull_page_writes = off\n";
        conf.close();
        m_bReady = Start() && Psql("postgres", std::string("CREATE ROLE ") + kRole + " LOGIN PASSWORD '" +
                                                   kPassword + "'");
    }
    ~CPgTestServer()
    {
        if (!m_strDir.empty()) {
            Run(m_strAs + kBin + "pg_ctl -D " + m_strDir + "/data -m immediate stop >/dev/null 2>&1");
            std::error_code ec;
            std::filesystem::remove_all(m_strDir, ec);
        }
    }
    CPgTestServer(const CPgTestServer&) = delete;
    CPgTestServer& operator=(const CPgTestServer&) = delete;

    bool Ready() const { return m_bReady; }
    int Port() const { return m_nPort; }
    const std::string& Dir() const { return m_strDir; }

    bool Start()
    {
        return Run(m_strAs + kBin + "pg_ctl -D " + m_strDir + "/data -l " + m_strDir +
                   "/data/server.log -w -t 30 start >/dev/null 2>&1");
    }
    // immediate: the server dies at once, as a pulled plug or a crash.
    bool Stop(bool immediate = true)
    {
        return Run(m_strAs + kBin + "pg_ctl -D " + m_strDir + "/data -m " + (immediate ? "immediate" : "fast") +
                   " -w stop >/dev/null 2>&1");
    }

    // A database of the lab role.
    bool CreateDatabase(const std::string& name)
    {
        return Psql("postgres", "CREATE DATABASE " + name + " OWNER " + kRole);
    }
    // The station's setting for that database (the password comes from PGPASSFILE).
    std::string Setting(const std::string& database) const
    {
        return "host=127.0.0.1 port=" + std::to_string(m_nPort) + " dbname=" + database + " user=" + kRole;
    }
    // A password file in the cluster's folder, given to libpq through PGPASSFILE.
    void UsePassword(const std::string& password)
    {
        const std::string path = m_strDir + "/pgpass";
        std::ofstream(path, std::ios::trunc) << "127.0.0.1:" << m_nPort << ":*:" << kRole << ":" << password << "\n";
        ::chmod(path.c_str(), 0600);
        setenv("PGPASSFILE", path.c_str(), 1);
    }

    // psql as the superuser over the socket; the first value of the result in *out.
    bool Psql(const std::string& database, const std::string& sql, std::string* out = nullptr) const
    {
        const std::string file = m_strDir + "/sql.txt";
        std::ofstream(file, std::ios::trunc) << sql << "\n";
        ::chmod(file.c_str(), 0644);
        const std::string command = m_strAs + kBin + "psql -X -q -t -A -v ON_ERROR_STOP=1 -h " + m_strDir +
                                    "/sock -p " + std::to_string(m_nPort) + " -U postgres -d " + database +
                                    " -f " + file + " 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return false;
        std::string text;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            text.append(buffer, n);
        const int status = ::pclose(pipe);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        if (out)
            *out = text;
        return status == 0;
    }
    long long Count(const std::string& database, const std::string& sql) const
    {
        std::string out;
        return Psql(database, sql, &out) ? std::atoll(out.c_str()) : -1;
    }

private:
    static bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }
    static int FreePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        int port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port = ntohs(addr.sin_port);
        ::close(fd);
        return port;
    }

    std::string m_strDir;
    std::string m_strAs;
    int m_nPort = 0;
    bool m_bReady = false;
};
