// Who may reach the preview: the token, the Host and Origin headers and the cookie.
#include "serve/Access.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace corvelle::serve {
namespace {

TEST(ServeAccess, TokensAre128RandomBits) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string token = NewToken();
        ASSERT_EQ(token.size(), 32u);
        EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
        seen.insert(token);
    }
    EXPECT_EQ(seen.size(), 100u);
}

TEST(ServeAccess, AnswersOnlyToItsOwnHostNames) {
    const AccessPolicy loopback("t0k", 8754, "");
    for (const char* host : {"127.0.0.1:8754", "localhost:8754", "LOCALHOST:8754", "[::1]:8754"}) {
        EXPECT_TRUE(loopback.HostAllowed(host)) << host;
    }
    for (const char* host : {"", "127.0.0.1", "127.0.0.1:8755", "localhost", "attacker.example:8754",
                             "127.0.0.1:8754.attacker.example", "192.168.1.5:8754", "localhost:8754 "}) {
        EXPECT_FALSE(loopback.HostAllowed(host)) << host;
    }
    const AccessPolicy listening("t0k", 9000, "192.168.1.5");
    EXPECT_TRUE(listening.HostAllowed("192.168.1.5:9000"));
    EXPECT_FALSE(listening.HostAllowed("192.168.1.6:9000"));
    EXPECT_TRUE(AccessPolicy("t", 80, "::1").HostAllowed("[::1]:80"));
}

TEST(ServeAccess, OriginMustBeThePageItself) {
    const AccessPolicy policy("t0k", 8754, "");
    EXPECT_TRUE(policy.OriginAllowed("http://127.0.0.1:8754"));
    EXPECT_TRUE(policy.OriginAllowed("http://localhost:8754"));
    for (const char* origin : {"null", "", "https://127.0.0.1:8754", "http://attacker.example",
                               "http://127.0.0.1:8754/", "file://", "http://localhost:80"}) {
        EXPECT_FALSE(policy.OriginAllowed(origin)) << origin;
    }
}

TEST(ServeAccess, TokenInCookieOrQuery) {
    const std::string token = NewToken();
    const AccessPolicy policy(token, 8754, "");
    EXPECT_EQ(policy.SetCookieValue(), "corvelle_8754=" + token + "; HttpOnly; SameSite=Strict; Path=/");
    EXPECT_TRUE(policy.CookieHasToken("corvelle_8754=" + token));
    EXPECT_TRUE(policy.CookieHasToken("a=b; corvelle_8754=" + token + "; c=d"));
    EXPECT_FALSE(policy.CookieHasToken(""));
    EXPECT_FALSE(policy.CookieHasToken("corvelle_8755=" + token));   // another preview's cookie
    EXPECT_FALSE(policy.CookieHasToken("corvelle_8754=" + token.substr(1)));
    EXPECT_FALSE(policy.CookieHasToken("corvelle_8754=" + token + "0"));
    EXPECT_TRUE(policy.QueryHasToken("/?token=" + token));
    EXPECT_TRUE(policy.QueryHasToken("/?x=1&token=" + token));
    EXPECT_FALSE(policy.QueryHasToken("/?token="));
    EXPECT_FALSE(policy.QueryHasToken("/token=" + token));
    EXPECT_FALSE(policy.QueryHasToken("/?token=" + std::string(32, '0')));
    EXPECT_FALSE(SameSecret("abc", "abd"));
    EXPECT_TRUE(SameSecret("abc", "abc"));
}

}   // namespace
}   // namespace corvelle::serve
