// Applying a signed update package to a program folder, on each system the host is built
// for: what is installed and deleted, what is refused with nothing changed, and a file the
// system will not replace now (one in use) that the next start replaces.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <sodium.h>
#include <windows.h>
#else
#include <openssl/evp.h>
#endif

#include "app/update_package.h"
#include "device/zip_builder.h"
#include "host/pending_moves.h"
#include "support/temp_dir.h"

using kit::app::apply_update_package;
using testsupport::file_exists;
using testsupport::read_file;
using testsupport::write_file;

namespace {

using files = std::vector<std::pair<std::string, std::string>>;

// An Ed25519 key made from a seed, signing as the update's maker does (the crypto library
// of the system's build: OpenSSL on Linux, libsodium on Windows).
class signer {
public:
  explicit signer(char seed_byte) : seed_(32, seed_byte) {}

  std::string sign(const std::string& message) const {
    std::string signature(64, '\0');
#ifdef _WIN32
    unsigned char pk[32], sk[64];
    crypto_sign_seed_keypair(pk, sk, bytes(seed_));
    crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr, bytes(message), message.size(), sk);
#else
    EVP_PKEY* key = EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, bytes(seed_), seed_.size());
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    size_t length = signature.size();
    EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, key);
    EVP_DigestSign(ctx, reinterpret_cast<unsigned char*>(signature.data()), &length, bytes(message), message.size());
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(key);
#endif
    return signature;
  }

  // The public half as `openssl pkey -pubout` writes it.
  std::string public_pem() const {
    std::string der("\x30\x2a\x30\x05\x06\x03\x2b\x65\x70\x03\x21\x00", 12);
#ifdef _WIN32
    unsigned char pk[32], sk[64];
    crypto_sign_seed_keypair(pk, sk, bytes(seed_));
    der.append(reinterpret_cast<const char*>(pk), 32);
#else
    EVP_PKEY* key = EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, bytes(seed_), seed_.size());
    unsigned char pk[32];
    size_t length = sizeof pk;
    EVP_PKEY_get_raw_public_key(key, pk, &length);
    EVP_PKEY_free(key);
    der.append(reinterpret_cast<const char*>(pk), 32);
#endif
    return "-----BEGIN PUBLIC KEY-----\n" + base64(der) + "\n-----END PUBLIC KEY-----\n";
  }

private:
  static const unsigned char* bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
  static std::string base64(const std::string& in) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < in.size(); i += 3) {
      uint32_t n = uint8_t(in[i]) << 16 | (i + 1 < in.size() ? uint8_t(in[i + 1]) << 8 : 0) |
                   (i + 2 < in.size() ? uint8_t(in[i + 2]) : 0);
      for (size_t k = 0; k < 4; ++k) out += i + k <= in.size() ? digits[(n >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
  }
  std::string seed_;
};

// A program folder, its profile and temporary folders, and a key its config.ini trusts
// (named by its absolute path).
class UpdatePackage : public testing::Test {
protected:
  void SetUp() override {
    testsupport::make_dirs(program());
    testsupport::make_dirs(profile());
    testsupport::make_dirs(temp());
    write_file(root / "keys/update-key.pem", maker.public_pem());
    write_file(program() + "config.ini", "[Update]\npubkey=" + (root / "keys/update-key.pem") + "\n");
  }

  std::string program() const { return root / "app/"; }
  std::string profile() const { return root / "profile/"; }
  std::string temp() const { return root / "tmp/"; }

  // The package of the files, signed by the key given.
  std::string package(const files& content, const signer& by) {
    std::string path = root / ("pkg" + std::to_string(++packages) + ".zip");
    std::string bytes = devicetest::make_zip(path, content);
    write_file(path + ".sig", by.sign(bytes));
    return path;
  }

  kit::app::update_result apply(const std::string& path) { return apply_update_package(path, {program(), profile(), temp()}); }

  // The program folder's files (but config.ini) with their contents.
  files program_files() const {
    files out;
    namespace fs = std::filesystem;
    for (const auto& e : fs::recursive_directory_iterator(fs::u8path(program()))) {
      if (!e.is_regular_file()) continue;
      std::u8string relative = e.path().lexically_relative(fs::u8path(program())).generic_u8string();
      std::u8string full = e.path().u8string();
      std::string name(relative.begin(), relative.end());
      if (name != "config.ini") out.emplace_back(name, read_file(std::string(full.begin(), full.end())));
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  testsupport::temp_dir root;
  signer maker{'m'};
  int packages = 0;
};

const char* const kList = R"(<update>
  <DeleteFileList><f dest="old.txt"/><f dest="../outside.txt"/></DeleteFileList>
  <FileList>
    <f src="files/tool.exe" dest="tool.exe"/>
    <f src="files/nested.txt" dest="deep/er/nested.txt"/>
    <f src="files/escape.txt" dest="../escaped.txt"/>
  </FileList>
</update>)";
const files kPackage = {{"updatelist.xml", kList}, {"files/tool.exe", "new tool"}, {"files/nested.txt", "n"}, {"files/escape.txt", "e"}};

} // namespace

TEST_F(UpdatePackage, AppliesItsListInsideTheProgramFolderOnly) {
  write_file(program() + "old.txt", "to be deleted");
  write_file(program() + "tool.exe", "old tool");
  write_file(root / "outside.txt", "stays");
  auto r = apply(package(kPackage, maker));
  ASSERT_TRUE(r.applied) << r.reason;
  EXPECT_EQ(program_files(), (files{{"deep/er/nested.txt", "n"}, {"tool.exe", "new tool"}}));
  EXPECT_EQ(read_file(root / "outside.txt"), "stays");
  EXPECT_FALSE(file_exists(root / "escaped.txt"));
}

TEST_F(UpdatePackage, AnythingButTheMakersWholePackageChangesNothing) {
  write_file(program() + "old.txt", "to be deleted");
  struct refusal {
    const char* what;
    std::function<std::string()> make;  // the package's path
    const char* reason;
  };
  const std::vector<refusal> cases = {
      {"no signature file",
       [&] {
         std::string p = package(kPackage, maker);
         std::filesystem::remove(std::filesystem::u8path(p + ".sig"));
         return p;
       },
       "has no signature file"},
      {"a damaged signature file",
       [&] {
         std::string p = package(kPackage, maker);
         write_file(p + ".sig", "short");
         return p;
       },
       "signature file is damaged"},
      {"signed by another key", [&] { return package(kPackage, signer('x')); }, "signature does not match"},
      {"changed after signing",
       [&] {
         std::string p = package(kPackage, maker);
         std::string bytes = read_file(p);
         bytes.back() ^= 1;
         write_file(p, bytes);
         return p;
       },
       "signature does not match"},
      {"a listed file missing", [&] { return package({{"updatelist.xml", kList}, {"files/nested.txt", "n"}, {"files/escape.txt", "e"}}, maker); },
       "lacks files/tool.exe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto r = apply(c.make());
    EXPECT_FALSE(r.applied);
    EXPECT_NE(r.reason.find(c.reason), std::string::npos) << r.reason;
    EXPECT_EQ(program_files(), (files{{"old.txt", "to be deleted"}}));  // not even a .tmp left
  }
}

// A file the system will not replace while it is in use (on Windows a running program;
// here one held open without sharing, or a folder standing where the file goes) is
// recorded, and the next start replaces it.
TEST_F(UpdatePackage, AFileInUseIsReplacedByTheNextStart) {
  const std::string target = program() + "tool.exe";
#ifdef _WIN32
  write_file(target, "old tool");
  HANDLE in_use = ::CreateFileW(std::filesystem::u8path(target).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(in_use, INVALID_HANDLE_VALUE);
  auto release = [&] { ::CloseHandle(in_use); };
#else
  write_file(target + "/busy", "");
  auto release = [&] { std::filesystem::remove_all(target); };
#endif
  auto r = apply(package(kPackage, maker));
  release();
  ASSERT_TRUE(r.applied) << r.reason;
  EXPECT_TRUE(file_exists(profile() + "pending-moves"));
  EXPECT_EQ(read_file(target + ".tmp"), "new tool");

  kit::host::apply_pending_moves(profile());
  EXPECT_EQ(read_file(target), "new tool");
  EXPECT_FALSE(file_exists(target + ".tmp"));
  EXPECT_FALSE(file_exists(profile() + "pending-moves"));
}
