#include "download/host_book.h"

namespace tavrin {

const HostBook::Record* HostBook::Find(const std::string& host) const {
    auto it = m_hosts.find(host);
    return it == m_hosts.end() ? nullptr : &it->second;
}

bool HostBook::Usable(const std::string& host) const {
    const Record* record = Find(host);
    return !record || (!record->setAside && !record->banned);
}

bool HostBook::Banned(const std::string& host) const {
    const Record* record = Find(host);
    return record && record->banned;
}

bool HostBook::MayAsk(const std::string& host) const {
    const Record* record = Find(host);
    if (!record) return true;
    if (record->setAside || record->banned) return false;
    return record->failures == 0 || record->failures + record->asking < m_tries;
}

void HostBook::Asking(const std::string& host) { ++m_hosts[host].asking; }

bool HostBook::Answered(const std::string& host, bool failed, const std::string& why,
                        bool errorPage) {
    Record& record = m_hosts[host];
    if (record.asking > 0) --record.asking;
    if (!failed) return false;
    ++record.failures;
    record.why = why;
    record.errorPage = errorPage;
    if (record.setAside || record.failures < m_tries) return false;
    record.setAside = true;
    return true;
}

void HostBook::Gave(const std::string& host) { m_hosts[host].failures = 0; }

void HostBook::SetAside(const std::string& host) { m_hosts[host].setAside = true; }

void HostBook::Ban(const std::string& host) { m_hosts[host].banned = true; }

std::string HostBook::Failure(const std::string& host, bool* errorPage) const {
    const Record* record = Find(host);
    if (errorPage) *errorPage = record && record->errorPage;
    return record ? record->why : std::string();
}

}  // namespace tavrin
