// The self-signed certificate: made once, kept for later starts, its key readable by the
// service alone, and a pair OpenSSL accepts for a TLS server.
#include "redfish/tls_certificate.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <sys/stat.h>

#include "tests/support/temp_dir.h"

namespace vorl::redfish {
namespace {

TEST(TlsCertificateTest, MadeOnceKeptAfterwardsAndItsKeyPrivate) {
    test::TempDir dir;
    std::string cert, key, error;
    ASSERT_TRUE(ensureSelfSignedCertificate(dir.path().string(), cert, key, error)) << error;
    struct stat status {};
    ASSERT_EQ(0, ::stat(key.c_str(), &status));
    EXPECT_EQ(0600u, status.st_mode & 0777);
    const auto first = test::TempDir::read(cert);
    std::string again, againKey;
    ASSERT_TRUE(ensureSelfSignedCertificate(dir.path().string(), again, againKey, error));
    EXPECT_EQ(first, test::TempDir::read(again));  // clients that pinned it keep working

    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    EXPECT_EQ(1, SSL_CTX_use_certificate_chain_file(context, cert.c_str()));
    EXPECT_EQ(1, SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM));
    EXPECT_EQ(1, SSL_CTX_check_private_key(context));
    SSL_CTX_free(context);
}

}  // namespace
}  // namespace vorl::redfish
