// Who may talk to the preview: the session's secret token, the Host and Origin a request may
// carry, and the headers every answer carries.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle::serve {

/// 128 random bits from the kernel as 32 lower-case hex digits; throws std::runtime_error when
/// the kernel gives none.
std::string NewToken();

class AccessPolicy {
public:
    /// Requests must name one of the loopback hosts with `port`, or `listenAddress` when the
    /// server listens elsewhere; `token` is the session's secret.
    AccessPolicy(std::string token, unsigned short port, const std::string& listenAddress);

    const std::string& Token() const { return m_token; }
    /// The cookie that carries the token: one name per port, so two previews never mix.
    const std::string& CookieName() const { return m_cookieName; }
    /// "name=token; HttpOnly; SameSite=Strict; Path=/".
    std::string SetCookieValue() const;

    /// Whether `host` (the Host header) is one this server answers to.
    bool HostAllowed(std::string_view host) const;
    /// Whether `origin` (the Origin header) is this server's own page.
    bool OriginAllowed(std::string_view origin) const;
    /// Whether the Cookie header carries the session's token.
    bool CookieHasToken(std::string_view cookieHeader) const;
    /// Whether the request target's query has token=<the session's token>.
    bool QueryHasToken(std::string_view target) const;

    /// The content security policy for a page served under `host` (already allowed).
    std::string ContentSecurityPolicy(std::string_view host) const;

private:
    std::string m_token;
    std::string m_cookieName;
    std::vector<std::string> m_hosts;
};

/// Compares in time that depends only on the lengths, so the token cannot be guessed byte by byte.
bool SameSecret(std::string_view a, std::string_view b);

}   // namespace corvelle::serve
