#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "Crypt.h"
#include "KeyContainer.h"
#include "Md2.h"
#include "TempHome.h"
#include "TokenCodecs.h"

using namespace tessel;

namespace {

CryptProvider Open(const char16_t* name = kBaseProviderName)
{
    return CryptProvider::AcquireProviderContext(std::nullopt, std::u16string(name), PROV_RSA_FULL, 0);
}

HRESULT CodeOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const HResultError& e) {
        return e.code();
    }
    return 0;
}

std::string Hex(const ByteBuffer& b)
{
    return TextToUtf8(HexEncode(b));
}

CryptKey Derived(const CryptProvider& p, ALG_ID alg, std::uint32_t flags = 0)
{
    CryptHash h = p.CreateHash(CALG_SHA1);
    h.HashData(ByteBuffer::FromString("seed bytes"));
    return p.DeriveKey(alg, h, flags);
}

std::string PublicBlobOfContainer(const char16_t* name = kBaseProviderName)
{
    const CryptProvider p = Open(name);
    return Hex(p.GetExchangeKey().Export(PUBLICKEYBLOB, nullptr));
}

std::string KeyPath(const char16_t* name = kBaseProviderName)
{
    return KeyContainer(name, std::nullopt).path();
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The files beside the key file whose names start with its name and `suffix`.
std::vector<std::filesystem::path> Beside(const std::string& keyPath, const std::string& suffix)
{
    std::vector<std::filesystem::path> found;
    const std::filesystem::path key(keyPath);
    for (const auto& e : std::filesystem::directory_iterator(key.parent_path()))
        if (e.path().filename().string().rfind(key.filename().string() + suffix, 0) == 0)
            found.push_back(e.path());
    return found;
}

}  // namespace

TEST(NameTables, CompareWithoutCase)
{
    EXPECT_EQ(ProviderTypeFromName(u"prov_rsa_full"), 1u);
    EXPECT_EQ(ProviderTypeFromName(u"PROV_DSS"), 3u);
    EXPECT_EQ(ProviderTypeFromName(u"PROV_INTEL_SEC"), 22u);
    EXPECT_EQ(ProviderTypeFromName(u"PROV_FORTEZZA"), 0u);
    EXPECT_EQ(ProviderTypeFromName(u""), 0u);
    EXPECT_EQ(AlgorithmIdFromName(u"calg_sha"), 0x8004u);
    EXPECT_EQ(AlgorithmIdFromName(u"CALG_SHA1"), 0x8004u);
    EXPECT_EQ(AlgorithmIdFromName(u"Calg_Rc2"), 0x6602u);
    EXPECT_EQ(AlgorithmIdFromName(u"ALG_SID_SSL3SHAMD5"), 8u);
    EXPECT_EQ(AlgorithmIdFromName(u"CALG_TLS1PRF"), 0x800Au);
    EXPECT_EQ(AlgorithmIdFromName(u"CALG_AES_128"), 0u);
    EXPECT_EQ(AlgorithmIdFromName(u"CALG_SHA1 "), 0u);
}

TEST(Md2, MatchesTheReferenceDigests)
{
    const auto digest = [](std::string_view s) {
        Md2 m;
        m.Update(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
        const auto d = m.Final();
        return Hex(ByteBuffer(d.data(), static_cast<std::uint32_t>(d.size())));
    };
    EXPECT_EQ(digest(""), "8350E5A3E24C153DF2275C9F80692773");
    EXPECT_EQ(digest("abc"), "DA853B0D3F88D99B30283A69E6DED6BB");
    EXPECT_EQ(digest("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "D5976F79D83D3A0DC9806C3C66F3EFD8");
}

TEST(Provider, AcquireChecksNameAndType)
{
    const TempHome home;
    EXPECT_EQ(CodeOf([] { Open(u"Microsoft Base Cryptographic Provider"); }), kNTE_KEYSET_NOT_DEF);
    EXPECT_EQ(CodeOf([] {
                  CryptProvider::AcquireProviderContext(std::nullopt, std::u16string(kBaseProviderName), 3, 0);
              }),
              kNTE_PROV_TYPE_NO_MATCH);
    // Absent name and type 0 select the base provider of type PROV_RSA_FULL.
    const CryptProvider p = CryptProvider::AcquireProviderContext(std::nullopt, std::nullopt, 0, 0);
    EXPECT_EQ(p.Name(), kBaseProviderName);
    EXPECT_EQ(CodeOf([] {
                  CryptProvider::AcquireProviderContext(std::nullopt, std::nullopt, 0, 0x40);
              }),
              kNTE_BAD_FLAGS);
}

TEST(KeyContainer, IsCreatedOnFirstUseWithPrivatePermissions)
{
    const TempHome home;
    ASSERT_FALSE(std::filesystem::exists(home.keys()));
    const std::string first = PublicBlobOfContainer();  // opening creates it, the key is generated
    struct stat st {};
    ASSERT_EQ(stat(home.keys().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(home.keys())) {
        if (e.path().extension() != ".key")
            continue;
        ++files;
        ASSERT_EQ(stat(e.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    EXPECT_EQ(files, 1);
    // The pair persists: a later context reads the same one.
    EXPECT_EQ(PublicBlobOfContainer(), first);
    // 512 bits for the base provider, 1024 for the enhanced one.
    EXPECT_EQ(Open().GetExchangeKey().KeyLength(), 512u);
    EXPECT_EQ(Open(kEnhancedProviderName).GetExchangeKey().KeyLength(), 1024u);
}

TEST(KeyContainer, NewKeysetOnAnExistingContainerFails)
{
    const TempHome home;
    Open();
    EXPECT_EQ(CodeOf([] {
                  CryptProvider::AcquireProviderContext(std::nullopt, std::u16string(kBaseProviderName),
                                                        PROV_RSA_FULL, CRYPT_NEWKEYSET);
              }),
              kNTE_EXISTS);
}

TEST(KeyContainer, TwoProcessesCreatingAtOnceAgreeOnOnePair)
{
    const TempHome home;
    const std::string out = home.dir() + "/child";
    pid_t kids[2];
    for (int i = 0; i < 2; ++i) {
        kids[i] = fork();
        ASSERT_GE(kids[i], 0);
        if (kids[i] == 0) {
            int rc = 0;
            try {
                std::ofstream(out + std::to_string(i)) << PublicBlobOfContainer();
            } catch (...) {
                rc = 1;
            }
            _exit(rc);
        }
    }
    for (const pid_t kid : kids) {
        int status = 0;
        waitpid(kid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::string a, b;
    std::ifstream(out + "0") >> a;
    std::ifstream(out + "1") >> b;
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, b);
    EXPECT_EQ(PublicBlobOfContainer(), a);
}

TEST(KeyContainer, DamagedFileIsSetAsideAndANewPairMade)
{
    const TempHome home;
    const std::string first = PublicBlobOfContainer();
    // Not a container at all, then a container whose blob is no key pair.
    const std::string keyFile = ReadAll(KeyPath());
    const std::string damages[] = {"garbage that is not a container",
                                   keyFile.substr(0, 9) + std::string(keyFile.size() - 9, 'x')};
    std::string previous = first;
    for (const std::string& damage : damages) {
        std::ofstream(KeyPath(), std::ios::trunc | std::ios::binary) << damage;
        const std::string fresh = PublicBlobOfContainer();
        EXPECT_NE(fresh, previous);
        EXPECT_EQ(PublicBlobOfContainer(), fresh);  // the new pair is kept
        previous = fresh;
    }
    // Both damaged files are kept, renamed, with their bytes.
    const auto aside = Beside(KeyPath(), ".damaged-");
    ASSERT_EQ(aside.size(), 2u);
    std::set<std::string> kept;
    for (const auto& path : aside)
        kept.insert(ReadAll(path));
    EXPECT_EQ(kept, std::set<std::string>(std::begin(damages), std::end(damages)));
}

TEST(KeyContainer, LinkAtTheKeyPathIsRefused)
{
    const TempHome home;
    // Another container's pair must not become this container's through a link.
    const std::string other = PublicBlobOfContainer(kEnhancedProviderName);
    std::filesystem::create_symlink(KeyPath(kEnhancedProviderName), KeyPath());
    EXPECT_EQ(CodeOf([] { PublicBlobOfContainer(); }), kNTE_PERM);
    EXPECT_EQ(PublicBlobOfContainer(kEnhancedProviderName), other);
    // A dangling link is refused too, and nothing is made where it points.
    std::filesystem::remove(KeyPath());
    std::filesystem::create_symlink(home.dir() + "/elsewhere.key", KeyPath());
    EXPECT_EQ(CodeOf([] { PublicBlobOfContainer(); }), kNTE_PERM);
    EXPECT_FALSE(std::filesystem::exists(home.dir() + "/elsewhere.key"));
    // So is a link at the lock file's path.
    std::filesystem::remove(KeyPath());
    std::filesystem::create_symlink(home.dir() + "/elsewhere.lock", KeyPath() + ".lock");
    EXPECT_EQ(CodeOf([] { PublicBlobOfContainer(); }), kNTE_PERM);
    EXPECT_FALSE(std::filesystem::exists(home.dir() + "/elsewhere.lock"));
    // With the links gone the container is made as usual.
    std::filesystem::remove(KeyPath() + ".lock");
    EXPECT_FALSE(PublicBlobOfContainer().empty());
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(KeyPath())));
}

TEST(KeyContainer, LinkAtTheTemporaryPathIsNotFollowed)
{
    const TempHome home;
    Open();  // the folder and an empty container
    const std::string victim = home.dir() + "/victim";
    std::ofstream(victim) << "precious";
    const std::string tmp = KeyPath() + ".tmp." + std::to_string(getpid());
    std::filesystem::create_symlink(victim, tmp);
    // Making the pair writes the container through its temporary file.
    EXPECT_FALSE(PublicBlobOfContainer().empty());
    EXPECT_EQ(ReadAll(victim), "precious");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(tmp)));
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(KeyPath())));
}

TEST(KeyContainer, FolderThatOthersMayWriteIsRefused)
{
    const TempHome home;
    const std::string first = PublicBlobOfContainer();
    for (const mode_t mode : {0777, 0703, 0730}) {
        chmod(home.keys().c_str(), mode);
        EXPECT_EQ(CodeOf([] { Open(); }), kNTE_PERM) << std::oct << mode;
        EXPECT_EQ(CodeOf([] { PublicBlobOfContainer(); }), kNTE_PERM) << std::oct << mode;
    }
    // Nothing is repaired behind the user's back, and a private folder works again.
    struct stat st {};
    ASSERT_EQ(stat(home.keys().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0730u);
    chmod(home.keys().c_str(), 0700);
    EXPECT_EQ(PublicBlobOfContainer(), first);
}

TEST(KeyContainer, FolderOfAnotherUserOrALinkedFolderIsRefused)
{
    const TempHome home;
    const std::string first = PublicBlobOfContainer();
    // A link in place of the folder, even to a private folder of this user.
    const std::string real = home.dir() + "/real-keys";
    std::filesystem::rename(home.keys(), real);
    std::filesystem::create_directory_symlink(real, home.keys());
    EXPECT_EQ(CodeOf([] { Open(); }), kNTE_PERM);
    std::filesystem::remove(home.keys());
    std::filesystem::rename(real, home.keys());
    EXPECT_EQ(PublicBlobOfContainer(), first);
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give the folder to another user";
    ASSERT_EQ(chown(home.keys().c_str(), 65534, 65534), 0);
    EXPECT_EQ(CodeOf([] { Open(); }), kNTE_PERM);
    ASSERT_EQ(chown(home.keys().c_str(), 0, 0), 0);
    EXPECT_EQ(PublicBlobOfContainer(), first);
}

TEST(KeyContainer, UnusableFolderIsReportedNotCrashed)
{
    const TempHome home;
    std::ofstream(home.dir() + "/file") << "x";
    setenv("XDG_DATA_HOME", (home.dir() + "/file").c_str(), 1);  // a file where a folder should be
    const HRESULT hr = CodeOf([] { Open(); });
    EXPECT_LT(hr, 0);
    if (geteuid() != 0) {
        setenv("XDG_DATA_HOME", home.dir().c_str(), 1);
        std::filesystem::create_directories(home.keys());
        chmod(home.keys().c_str(), 0500);
        EXPECT_EQ(CodeOf([] { Open(); }), static_cast<HRESULT>(0x80070005u));
        chmod(home.keys().c_str(), 0700);
    }
}

TEST(Keys, DefaultLengthsPerProvider)
{
    const TempHome home;
    const CryptProvider base = Open();
    const CryptProvider enh = Open(kEnhancedProviderName);
    EXPECT_EQ(Derived(base, CALG_RC2).KeyLength(), 40u);
    EXPECT_EQ(Derived(base, CALG_RC2).EffectiveKeyLength(), 40u);
    EXPECT_EQ(Hex(*Derived(base, CALG_RC4).Salt()), "0000000000000000000000");
    EXPECT_EQ(Derived(enh, CALG_RC2).KeyLength(), 128u);
    EXPECT_EQ(Derived(enh, CALG_RC2).Salt()->size(), 0u);
    EXPECT_EQ(Derived(enh, CALG_3DES).KeyLength(), 192u);
    EXPECT_FALSE(Derived(enh, CALG_DES).Salt().has_value());
    EXPECT_EQ(Derived(enh, CALG_RC4).BlockLength(), 0u);
    EXPECT_EQ(CodeOf([&] { Derived(base, CALG_3DES); }), kNTE_BAD_ALGID);
    EXPECT_EQ(CodeOf([&] { Derived(base, 0); }), kNTE_BAD_ALGID);
    EXPECT_EQ(CodeOf([&] { Derived(base, CALG_SHA1); }), kNTE_BAD_ALGID);
    EXPECT_EQ(CodeOf([&] { Derived(base, CALG_DES).EffectiveKeyLength(); }), kNTE_BAD_TYPE);
    // A length in the flags' upper word.
    EXPECT_EQ(Derived(enh, CALG_RC4, 64u << 16).KeyLength(), 64u);
    EXPECT_EQ(CodeOf([&] { Derived(enh, CALG_RC4, 44u << 16); }), kNTE_BAD_FLAGS);
}

TEST(Keys, PiecewiseEncryptionEqualsOneCall)
{
    const TempHome home;
    const CryptProvider p = Open(kEnhancedProviderName);
    for (const ALG_ID alg : {CALG_RC2, CALG_RC4, CALG_3DES}) {
        CryptKey key = Derived(p, alg);
        const ByteBuffer data = ByteBuffer::FromString("0123456789abcdefXYZ");
        const ByteBuffer whole = key.Encrypt(data);
        const ByteBuffer first = key.Encrypt(data.data(), 16, false, nullptr);
        const ByteBuffer rest = key.Encrypt(data.data() + 16, 3, true, nullptr);
        EXPECT_EQ(Hex(first) + Hex(rest), Hex(whole)) << alg;
        // A key is reusable after a final call.
        EXPECT_EQ(key.Encrypt(data), whole);
        EXPECT_EQ(key.Decrypt(whole), data);
    }
}

TEST(Keys, EveryMessageStartsFromTheKeysInitialState)
{
    const TempHome home;
    const CryptProvider p = Open(kEnhancedProviderName);
    const ByteBuffer a = ByteBuffer::FromString("first message, longer than two blocks");
    const ByteBuffer b = ByteBuffer::FromString("second");
    for (const ALG_ID alg : {CALG_RC2, CALG_RC4, CALG_DES, CALG_3DES_112, CALG_3DES}) {
        // What keys that have done nothing else give.
        const ByteBuffer freshA = Derived(p, alg).Encrypt(a);
        const ByteBuffer freshB = Derived(p, alg).Encrypt(b);
        CryptKey key = Derived(p, alg);
        EXPECT_EQ(key.Encrypt(b), freshB) << alg;
        EXPECT_EQ(key.Encrypt(a), freshA) << alg;
        EXPECT_EQ(key.Decrypt(freshB), b) << alg;
        EXPECT_EQ(key.Decrypt(freshA), a) << alg;
        // A message in pieces in one direction is untouched by whole messages in the other.
        const ByteBuffer first = key.Encrypt(a.data(), 16, false, nullptr);
        EXPECT_EQ(key.Decrypt(freshB), b) << alg;
        const ByteBuffer rest = key.Encrypt(a.data() + 16, a.size() - 16, true, nullptr);
        EXPECT_EQ(Hex(first) + Hex(rest), Hex(freshA)) << alg;
        if (alg == CALG_RC4)
            continue;
        // A decryption that fails half-way leaves nothing behind.
        key.Decrypt(freshA.data(), 8, false, nullptr);
        EXPECT_EQ(CodeOf([&] { key.Decrypt(freshA.data() + 8, 5, false, nullptr); }), kNTE_BAD_DATA) << alg;
        EXPECT_EQ(key.Decrypt(freshA), a) << alg;
    }
}

TEST(Keys, DecryptRejectsBadPaddingAndPartialBlocks)
{
    const TempHome home;
    const CryptProvider p = Open();
    CryptKey key = Derived(p, CALG_RC2);
    EXPECT_EQ(CodeOf([&] { key.Decrypt(ByteBuffer(5)); }), kNTE_BAD_DATA);
    // Two blocks encrypted without padding (a non-final call on a second key of the same bytes).
    CryptKey twin = Derived(p, CALG_RC2);
    const ByteBuffer noPad = twin.Encrypt(ByteBuffer(16).data(), 16, false, nullptr);
    EXPECT_EQ(CodeOf([&] { key.Decrypt(noPad); }), kNTE_BAD_DATA);
    // The key still works afterwards.
    EXPECT_EQ(key.Decrypt(key.Encrypt(ByteBuffer::FromString("ok"))), ByteBuffer::FromString("ok"));
    // An empty cipher text has no padding block.
    EXPECT_EQ(CodeOf([&] { key.Decrypt(ByteBuffer()); }), kNTE_BAD_DATA);
}

TEST(Hashes, StateAndSessionKeyRules)
{
    const TempHome home;
    const CryptProvider p = Open();
    EXPECT_EQ(CodeOf([&] { p.CreateHash(0); }), kNTE_BAD_ALGID);
    EXPECT_EQ(CodeOf([&] { p.CreateHash(CALG_RC2); }), kNTE_BAD_ALGID);
    CryptHash h = p.CreateHash(CALG_MD5);
    h.HashData(ByteBuffer::FromString("abc"));
    EXPECT_EQ(Hex(h.HashValue()), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(Hex(h.HashValue()), "900150983CD24FB0D6963F7D28E17F72");  // read again
    EXPECT_EQ(CodeOf([&] { h.HashData(ByteBuffer::FromString("x")); }), kNTE_BAD_HASH_STATE);
    CryptHash h4 = p.CreateHash(CALG_MD4);
    h4.HashData(ByteBuffer::FromString("abc"));
    EXPECT_EQ(Hex(h4.HashValue()), "A448017AAF21D8525FC10AE87AA6729D");
    // A restarted hash is a new one of the same algorithm, finished or not.
    h.Restart();
    h.HashData(ByteBuffer::FromString("ab"));
    h.Restart();
    h.HashData(ByteBuffer::FromString("abc"));
    EXPECT_EQ(Hex(h.HashValue()), "900150983CD24FB0D6963F7D28E17F72");
    CryptHash h2 = p.CreateHash(CALG_MD2);
    h2.HashData(ByteBuffer::FromString("x"));
    EXPECT_EQ(Hex(h2.HashValue()), Hex(h2.HashValue()));
    h2.Restart();
    h2.HashData(ByteBuffer::FromString("abc"));
    EXPECT_EQ(Hex(h2.HashValue()), "DA853B0D3F88D99B30283A69E6DED6BB");
    EXPECT_EQ(CodeOf([] { CryptHash().Restart(); }), kE_INVALIDARG);
    CryptHash hk = p.CreateHash(CALG_SHA1);
    EXPECT_EQ(CodeOf([&] { hk.HashSessionKey(CryptKey()); }), kE_INVALIDARG);
    EXPECT_EQ(CodeOf([&] { hk.HashSessionKey(p.GetExchangeKey()); }), kNTE_BAD_KEY);
}

TEST(Blobs, SessionKeyWrapsForAPublicKeyAndUnwrapsWithTheMatchingPair)
{
    const TempHome home;
    for (const char16_t* name : {kBaseProviderName, kEnhancedProviderName}) {
        const CryptProvider client = Open(name);
        const ByteBuffer pubBlob = client.GetExchangeKey().Export(PUBLICKEYBLOB, nullptr);
        // The server side: a context without a container, the client's public key.
        const CryptProvider server = CryptProvider::AcquireProviderContext(std::nullopt, std::u16string(name),
                                                                           PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
        const CryptKey peer = server.ImportKey(pubBlob, 0, nullptr);
        CryptKey session = server.GenerateKey(CALG_RC2, CRYPT_EXPORTABLE);
        const ByteBuffer wrapped = session.Export(SIMPLEBLOB, &peer);
        EXPECT_EQ(wrapped.size(), 12u + peer.KeyLength() / 8);
        // The client unwraps it with its container's pair, found by the public half.
        const CryptKey clientPub = client.ImportKey(pubBlob, 0, nullptr);
        CryptKey got = client.ImportKey(wrapped, CRYPT_EXPORTABLE, &clientPub);
        const ByteBuffer msg = ByteBuffer::FromString("message");
        EXPECT_EQ(got.Decrypt(session.Encrypt(msg)), msg);
        EXPECT_EQ(got.KeyLength(), session.KeyLength());
        // Not exportable unless asked for.
        CryptKey locked = client.ImportKey(wrapped, 0, &clientPub);
        EXPECT_EQ(CodeOf([&] { locked.Export(SIMPLEBLOB, &clientPub); }), kNTE_BAD_KEY_STATE);
    }
}

TEST(Blobs, MalformedBlobsFailWithProviderCodes)
{
    const TempHome home;
    const CryptProvider p = Open();
    const ByteBuffer pub = p.GetExchangeKey().Export(PUBLICKEYBLOB, nullptr);
    EXPECT_EQ(CodeOf([&] { p.ImportKey(ByteBuffer(), 0, nullptr); }), kE_INVALIDARG);
    EXPECT_EQ(CodeOf([&] { p.ImportKey(ByteBuffer::FromString("sixteen bytes!!!"), 0, nullptr); }), kNTE_BAD_DATA);
    EXPECT_EQ(CodeOf([&] { p.ImportKey(pub.data(), pub.size() - 1, 0, nullptr); }), kNTE_BAD_DATA);
    EXPECT_EQ(CodeOf([&] { p.ImportKey(pub.data(), 19, 0, nullptr); }), kNTE_BAD_DATA);
    ByteBuffer badMagic = pub.Copy();
    badMagic[8] = 'X';
    EXPECT_EQ(CodeOf([&] { p.ImportKey(badMagic, 0, nullptr); }), kNTE_BAD_DATA);

    // A SIMPLEBLOB wrapped for somebody else's key.
    const CryptProvider other = CryptProvider::AcquireProviderContext(
        std::nullopt, std::u16string(kBaseProviderName), PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
    const CryptKey otherPair = other.GetExchangeKey();
    const CryptKey otherPub = p.ImportKey(otherPair.Export(PUBLICKEYBLOB, nullptr), 0, nullptr);
    CryptKey session = other.GenerateKey(CALG_RC2, CRYPT_EXPORTABLE);
    const ByteBuffer wrapped = session.Export(SIMPLEBLOB, &otherPair);
    EXPECT_EQ(CodeOf([&] { p.ImportKey(wrapped, 0, &otherPub); }), kNTE_NO_KEY);
    // Cipher text that does not unwrap.
    const CryptKey own = p.ImportKey(pub, 0, nullptr);
    ByteBuffer garbled = wrapped.Copy();
    for (std::uint32_t i = 12; i < garbled.size(); ++i)
        garbled[i] ^= 0x5A;
    EXPECT_EQ(CodeOf([&] { p.ImportKey(garbled, 0, &own); }), kNTE_BAD_DATA);
    EXPECT_EQ(CodeOf([&] { p.ImportKey(wrapped.data(), 40, 0, &own); }), kNTE_BAD_DATA);
    // Exporting a symmetric key as a public blob.
    EXPECT_EQ(CodeOf([&] { session.Export(PUBLICKEYBLOB, nullptr); }), kNTE_BAD_KEY);
    EXPECT_EQ(CodeOf([&] { session.Export(SIMPLEBLOB, nullptr); }), kNTE_BAD_KEY);
    EXPECT_EQ(CodeOf([&] { session.Export(99, nullptr); }), kNTE_BAD_TYPE);
}

TEST(Wrappers, AreMoveOnlyAndEmptyAfterAMove)
{
    const TempHome home;
    CryptProvider p = Open();
    CryptKey a = Derived(p, CALG_RC4);
    CryptKey b = std::move(a);
    EXPECT_TRUE(a.empty());
    EXPECT_FALSE(b.empty());
    EXPECT_EQ(CodeOf([&] { a.Encrypt(ByteBuffer(1)); }), kE_INVALIDARG);
    CryptProvider q = std::move(p);
    EXPECT_TRUE(p.empty());
    EXPECT_EQ(CodeOf([&] { p.GenerateRandom(4); }), kE_INVALIDARG);
    EXPECT_EQ(q.GenerateRandom(33).size(), 33u);
    static_assert(!std::is_copy_constructible_v<CryptKey>);
    static_assert(!std::is_copy_constructible_v<CryptHash>);
    static_assert(!std::is_copy_constructible_v<CryptProvider>);
    static_assert(!std::is_copy_constructible_v<ByteBuffer>);
}
