// The preview's access checks: token, Host, Origin and cookie.
#include "Access.h"

#include <sys/random.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace corvelle::serve {
namespace {

constexpr std::size_t kTokenBytes = 16;

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

/// Calls `each(name, value)` for every name=value pair of `text` split at `separator`.
template <class Each>
void ForEachPair(std::string_view text, char separator, Each&& each) {
    while (!text.empty()) {
        const std::size_t end = text.find(separator);
        const std::string_view pair = Trim(text.substr(0, end));
        const std::size_t equals = pair.find('=');
        if (equals != std::string_view::npos) {
            each(Trim(pair.substr(0, equals)), Trim(pair.substr(equals + 1)));
        }
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
}

}   // namespace

std::string NewToken() {
    uint8_t bytes[kTokenBytes];
    std::size_t got = 0;
    while (got < kTokenBytes) {
        const ssize_t n = getrandom(bytes + got, kTokenBytes - got, 0);
        if (n <= 0) {
            throw std::runtime_error("making the session token: the kernel gave no random bytes");
        }
        got += static_cast<std::size_t>(n);
    }
    static const char kHex[] = "0123456789abcdef";
    std::string token;
    for (uint8_t b : bytes) {
        token += kHex[b >> 4];
        token += kHex[b & 15];
    }
    return token;
}

bool SameSecret(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return diff == 0;
}

AccessPolicy::AccessPolicy(std::string token, unsigned short port, const std::string& listenAddress)
    : m_token(std::move(token)), m_cookieName("corvelle_" + std::to_string(port)) {
    const std::string suffix = ":" + std::to_string(port);
    m_hosts = {"127.0.0.1" + suffix, "localhost" + suffix, "[::1]" + suffix};
    if (!listenAddress.empty()) {
        const bool v6 = listenAddress.find(':') != std::string::npos;
        m_hosts.push_back((v6 ? "[" + listenAddress + "]" : listenAddress) + suffix);
    }
}

std::string AccessPolicy::SetCookieValue() const {
    return m_cookieName + "=" + m_token + "; HttpOnly; SameSite=Strict; Path=/";
}

bool AccessPolicy::HostAllowed(std::string_view host) const {
    return std::any_of(m_hosts.begin(), m_hosts.end(),
                       [&](const std::string& allowed) { return EqualsIgnoringCase(host, allowed); });
}

bool AccessPolicy::OriginAllowed(std::string_view origin) const {
    constexpr std::string_view kScheme = "http://";
    if (origin.substr(0, kScheme.size()) != kScheme) {
        return false;
    }
    return HostAllowed(origin.substr(kScheme.size()));
}

bool AccessPolicy::CookieHasToken(std::string_view cookieHeader) const {
    bool found = false;
    ForEachPair(cookieHeader, ';', [&](std::string_view name, std::string_view value) {
        found = found || (name == m_cookieName && SameSecret(value, m_token));
    });
    return found;
}

bool AccessPolicy::QueryHasToken(std::string_view target) const {
    const std::size_t question = target.find('?');
    if (question == std::string_view::npos) {
        return false;
    }
    bool found = false;
    ForEachPair(target.substr(question + 1), '&', [&](std::string_view name, std::string_view value) {
        found = found || (name == "token" && SameSecret(value, m_token));
    });
    return found;
}

std::string AccessPolicy::ContentSecurityPolicy(std::string_view host) const {
    // Only the page's own files run and load; the WebSocket goes back to this server alone.
    return "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
           "connect-src ws://" +
           std::string(host) + "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
}

}   // namespace corvelle::serve
