// What the lanes of a visit know of each server (a folder URL): one that served a wrong file is
// never asked again; one that keeps failing (refused, reset, a 5xx answer, silent) is set aside
// for the rest of the visit once it has used its tries, counted over every lane, so that a dead
// server costs the visit its tries once and not once per file. Not locked: the downloader holds
// its own lock around every call.
#pragma once

#include <map>
#include <string>

namespace tavrin {

class HostBook {
public:
    // Tries in a row that bring nothing before a server is set aside; at least 1.
    void SetTries(int tries) { m_tries = tries < 1 ? 1 : tries; }

    bool Usable(const std::string& host) const;
    bool Banned(const std::string& host) const;
    // A healthy server takes any number of lanes; one that has failed takes new tries only
    // while those under way could not yet use its last ones.
    bool MayAsk(const std::string& host) const;
    void Asking(const std::string& host);
    // A try ended: failed (nothing usable came; why and whether it was an error page) or not.
    // True when this failure sets the server aside.
    bool Answered(const std::string& host, bool failed, const std::string& why, bool errorPage);
    // A byte came: the server is alive and its failures so far are forgiven.
    void Gave(const std::string& host);
    void SetAside(const std::string& host);
    void Ban(const std::string& host);
    // Why the server's last try failed ("" when none did): a file left with no server to ask
    // reports it.
    std::string Failure(const std::string& host, bool* errorPage) const;

private:
    struct Record {
        int failures = 0;  // tries in a row that failed without a byte
        int asking = 0;    // tries under way
        bool setAside = false, banned = false;
        std::string why;
        bool errorPage = false;
    };
    const Record* Find(const std::string& host) const;

    std::map<std::string, Record> m_hosts;
    int m_tries = 1;
};

}  // namespace tavrin
