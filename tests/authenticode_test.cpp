// Authenticode signatures read on Linux, against PE files that osslsigncode
// signed (tests/signing, made by tests/signing/make_fixtures.py).
#include "check/authenticode.h"

#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace camsetup::check {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Status = AuthenticodeInfo::Status;

const std::filesystem::path kFixtures = std::filesystem::path(__FILE__).parent_path() / "signing";

// Where the fixtures' images keep things: headers up to 0x200, then .text
// and .data, one file-aligned block each, then any overlay.
constexpr std::size_t kDosStub = 0x10;
constexpr std::size_t kTimeDateStamp = 0x40 + 4 + 4;
constexpr std::size_t kDataSection = 0x400;
constexpr std::size_t kOverlay = 0x600;  // overlay.exe: 5 bytes, then 3 of padding

constexpr char kOskendal[] = "CN=Oskendal Camera Co, O=Oskendal Camera Co, C=DE";
constexpr char kMueller[] =
    "CN=Kamerawerk M\xC3\xBCller GmbH, O=Kamerawerk M\xC3\xBCller GmbH, C=DE";
constexpr char kSigned[] = "pe32-oskendal-sha256.exe";

const char* StatusName(Status status) {
  switch (status) {
    case AuthenticodeInfo::kUnsigned:
      return "kUnsigned";
    case AuthenticodeInfo::kValid:
      return "kValid";
    case AuthenticodeInfo::kBadDigest:
      return "kBadDigest";
    case AuthenticodeInfo::kBadSignature:
      return "kBadSignature";
    case AuthenticodeInfo::kMalformed:
      return "kMalformed";
    case AuthenticodeInfo::kNotPe:
      return "kNotPe";
  }
  return "?";
}

// For a failure message that shows the detail.
::testing::AssertionResult DetailHas(const AuthenticodeInfo& info, const std::string& part) {
  if (info.detail.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "detail \"" << info.detail << "\" lacks \"" << part << "\"";
}

Bytes Read(const std::string& name) {
  std::ifstream in(kFixtures / name, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_FALSE(bytes.empty()) << "no fixture " << (kFixtures / name);
  return bytes;
}

struct FreeX509 {
  void operator()(X509* p) const { X509_free(p); }
};

std::unique_ptr<X509, FreeX509> Certificate(const std::string& pem) {
  const std::string path = (kFixtures / pem).string();
  BIO* bio = BIO_new_file(path.c_str(), "r");
  std::unique_ptr<X509, FreeX509> cert(
      bio != nullptr ? PEM_read_bio_X509(bio, nullptr, nullptr, nullptr) : nullptr);
  BIO_free(bio);
  EXPECT_NE(cert, nullptr) << "no certificate in " << path;
  return cert;
}

Bytes NameDer(const X509_NAME* name) {
  unsigned char* der = nullptr;
  const int size = i2d_X509_NAME(name, &der);
  Bytes bytes(der, der + std::max(size, 0));
  OPENSSL_free(der);
  return bytes;
}

std::uint32_t GetLe32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
void PutLe32(Bytes& b, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
void PutLe16(Bytes& b, std::size_t at, std::uint16_t value) {
  b[at] = static_cast<std::uint8_t>(value);
  b[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// The places in a PE file that Authenticode treats apart.
struct Places {
  std::size_t optional;     // the optional header
  std::size_t checksum;     // its CheckSum
  std::size_t table_entry;  // the certificate table's data directory entry
  std::size_t table;        // the certificate table, as the entry names it
  std::uint32_t table_size;
};
Places PlacesOf(const Bytes& pe) {
  const std::size_t optional = GetLe32(pe, 0x3C) + 24;
  const bool pe32plus = pe[optional] == 0x0B && pe[optional + 1] == 0x02;
  const std::size_t entry = optional + (pe32plus ? 144 : 128);
  return {optional, optional + 64, entry, GetLe32(pe, entry), GetLe32(pe, entry + 4)};
}

// Where `pattern` first starts in `bytes` at or after `from`; the size of
// `bytes` when nowhere.
std::size_t Find(const Bytes& bytes, const Bytes& pattern, std::size_t from = 0) {
  return static_cast<std::size_t>(std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                              bytes.end(), pattern.begin(), pattern.end()) -
                                  bytes.begin());
}

// The signed SHA-256 digest: DigestInfo's algorithm (with NULL parameters)
// and the OCTET STRING header, which nothing else in the signature has.
const Bytes kSha256DigestInfo = {0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03,
                                 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
std::size_t SignedDigestAt(const Bytes& pe) {
  const std::size_t at = Find(pe, kSha256DigestInfo, PlacesOf(pe).table);
  EXPECT_LT(at, pe.size()) << "no SHA-256 DigestInfo in the signature";
  EXPECT_EQ(Find(pe, kSha256DigestInfo, at + 1), pe.size()) << "two SHA-256 DigestInfos";
  return at + kSha256DigestInfo.size();
}

// The DER end of the PKCS #7 structure in the first certificate entry.
std::size_t SignatureEnd(const Bytes& pe) {
  const std::size_t der = PlacesOf(pe).table + 8;
  EXPECT_EQ(pe[der], 0x30);
  EXPECT_EQ(pe[der + 1], 0x82) << "a PKCS #7 structure of 256 bytes to 64 KiB";
  return der + 4 + (pe[der + 2] << 8 | pe[der + 3]);
}

// Object identifiers as DER: SpcIndirectDataContent, SpcPeImageData.
const Bytes kSpcIndirectDataOid = {0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04,
                                   0x01, 0x82, 0x37, 0x02, 0x01, 0x04};
const Bytes kSpcPeImageDataOid = {0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04,
                                  0x01, 0x82, 0x37, 0x02, 0x01, 0x0F};

TEST(Authenticode, ValidSignaturesNameTheirSigner) {
  struct Case {
    std::string name;
    std::string file;
    std::string subject;
    std::string certificate;
    std::string digest;
  };
  const Case cases[] = {
      {"PE32, SHA-256", kSigned, kOskendal, "oskendal.pem", "SHA-256"},
      {"PE32+, SHA-256", "pe64-oskendal-sha256.exe", kOskendal, "oskendal.pem", "SHA-256"},
      {"SHA-1", "pe32-oskendal-sha1.exe", kOskendal, "oskendal.pem", "SHA-1"},
      {"SHA-384", "pe32-oskendal-sha384.exe", kOskendal, "oskendal.pem", "SHA-384"},
      {"SHA-512", "pe32-oskendal-sha512.exe", kOskendal, "oskendal.pem", "SHA-512"},
      {"renewed certificate", "pe32-oskendal-renewed-sha256.exe", kOskendal, "oskendal-renewed.pem",
       "SHA-256"},
      // Issued by a CA whose certificate comes first in the signature: the
      // signer is the one the SignerInfo names, its subject not its issuer.
      {"UTF-8 subject, CA-issued", "pe32-mueller-sha256.exe", kMueller, "mueller.pem", "SHA-256"},
      // Data after the last section, and the zeros that pad it to 8 bytes.
      {"overlay", "overlay-oskendal-sha256.exe", kOskendal, "oskendal.pem", "SHA-256"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AuthenticodeInfo info = ReadAuthenticode(Read(c.file));
    EXPECT_STREQ(StatusName(info.status), "kValid") << info.detail;
    EXPECT_EQ(info.signer_subject, c.subject);
    const auto cert = Certificate(c.certificate);
    if (cert == nullptr) continue;
    EXPECT_EQ(info.signer_subject_der, NameDer(X509_get_subject_name(cert.get())));
    EXPECT_TRUE(DetailHas(info, c.digest));
    EXPECT_TRUE(DetailHas(info, "Not judged on Linux"));
  }
  const auto issued = Certificate("mueller.pem");
  ASSERT_NE(issued, nullptr);
  EXPECT_NE(NameDer(X509_get_subject_name(issued.get())),
            NameDer(X509_get_issuer_name(issued.get())));
}

TEST(Authenticode, SameSubjectIsTheSamePublisher) {
  Bytes changed = Read(kSigned);
  changed[kDataSection] ^= 1;
  const AuthenticodeInfo signed32 = ReadAuthenticode(Read(kSigned));
  const AuthenticodeInfo signed64 = ReadAuthenticode(Read("pe64-oskendal-sha256.exe"));
  const AuthenticodeInfo renewed = ReadAuthenticode(Read("pe32-oskendal-renewed-sha256.exe"));
  const AuthenticodeInfo other = ReadAuthenticode(Read("pe32-mueller-sha256.exe"));
  const AuthenticodeInfo unsigned32 = ReadAuthenticode(Read("pe32.exe"));
  const AuthenticodeInfo tampered = ReadAuthenticode(changed);
  ASSERT_EQ(tampered.signer_subject_der, signed32.signer_subject_der);
  struct Case {
    std::string name;
    const AuthenticodeInfo& a;
    const AuthenticodeInfo& b;
    bool same;
  };
  const Case cases[] = {
      {"one certificate, two files", signed32, signed64, true},
      {"renewed certificate, same subject", signed32, renewed, true},
      {"itself", signed32, signed32, true},
      {"another publisher", signed32, other, false},
      {"an unsigned file", signed32, unsigned32, false},
      {"two unsigned files", unsigned32, unsigned32, false},
      // The signer is named, but the file changed after signing.
      {"a changed file by the same signer", signed32, tampered, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SameSubject(c.a, c.b), c.same) << c.name;
    EXPECT_EQ(SameSubject(c.b, c.a), c.same) << c.name << ", reversed";
  }
}

TEST(Authenticode, FilesWithoutASignature) {
  struct Case {
    std::string name;
    std::string file;
    std::function<void(Bytes&)> change;
  };
  const Case cases[] = {
      {"PE32", "pe32.exe", nullptr},
      {"PE32+", "pe64.exe", nullptr},
      {"overlay", "overlay.exe", nullptr},
      // As Windows reads it: no fifth data directory, no certificate table,
      // whatever the bytes where it would be say.
      {"four data directories", kSigned,
       [](Bytes& b) { PutLe32(b, PlacesOf(b).optional + 92, 4); }},
      {"a certificate table of no bytes", kSigned,
       [](Bytes& b) { PutLe32(b, PlacesOf(b).table_entry + 4, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = Read(c.file);
    if (c.change) c.change(bytes);
    const AuthenticodeInfo info = ReadAuthenticode(bytes);
    EXPECT_STREQ(StatusName(info.status), "kUnsigned") << info.detail;
    EXPECT_TRUE(info.signer_subject.empty());
    EXPECT_TRUE(info.signer_subject_der.empty());
    EXPECT_FALSE(IsOleCompoundFile(bytes));
  }
}

TEST(Authenticode, FilesThatAreNoPeImage) {
  const Bytes ole = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  Bytes msi = ole;
  msi.resize(512, 0);
  Bytes dos(64, 0);
  dos[0] = 'M';
  dos[1] = 'Z';
  Bytes far_header = Read(kSigned);
  PutLe32(far_header, 0x3C, 0xFFFFFFF0);
  Bytes ne = Read(kSigned);
  ne[GetLe32(ne, 0x3C)] = 'N';
  const std::string ini = "[Launcher]\r\nInstallers=AnySigned\r\n";
  struct Case {
    std::string name;
    Bytes bytes;
    bool ole;
  };
  const Case cases[] = {
      {"empty", {}, false},
      {"text", Bytes(ini.begin(), ini.end()), false},
      {"an MZ header alone", dos, false},
      {"a PE header past the end", far_header, false},
      {"an NE header", ne, false},
      {"an MSI package", msi, true},
      {"the OLE signature alone", ole, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AuthenticodeInfo info = ReadAuthenticode(c.bytes);
    EXPECT_STREQ(StatusName(info.status), "kNotPe") << info.detail;
    EXPECT_TRUE(info.signer_subject.empty());
    EXPECT_EQ(IsOleCompoundFile(c.bytes), c.ole);
  }
}

// One change to a signed file, and what it makes of the signature.
struct Change {
  std::string name;
  std::string file;
  std::function<void(Bytes&)> change;
  Status expected;
  std::string detail;  // part of the detail
};

void ExpectChanges(const std::vector<Change>& changes) {
  for (const Change& c : changes) {
    SCOPED_TRACE(c.name);
    Bytes bytes = Read(c.file);
    c.change(bytes);
    const AuthenticodeInfo info = ReadAuthenticode(bytes);
    EXPECT_STREQ(StatusName(info.status), StatusName(c.expected)) << info.detail;
    EXPECT_TRUE(DetailHas(info, c.detail));
    // The signer is named whenever its certificate was found.
    const bool named = c.expected == AuthenticodeInfo::kValid ||
                       c.expected == AuthenticodeInfo::kBadDigest ||
                       c.expected == AuthenticodeInfo::kBadSignature;
    EXPECT_EQ(info.signer_subject, named ? kOskendal : "");
  }
}

TEST(Authenticode, WhatTheDigestCovers) {
  const std::string kChanged = "changed after it was signed";
  ExpectChanges({
      {"DOS stub", kSigned, [](Bytes& b) { b[kDosStub] ^= 1; }, AuthenticodeInfo::kBadDigest,
       kChanged},
      {"COFF time stamp", kSigned, [](Bytes& b) { b[kTimeDateStamp] ^= 1; },
       AuthenticodeInfo::kBadDigest, kChanged},
      {"a byte of .data", kSigned, [](Bytes& b) { b[kDataSection] ^= 1; },
       AuthenticodeInfo::kBadDigest, kChanged},
      {"PE32+: a byte of .data", "pe64-oskendal-sha256.exe", [](Bytes& b) { b[kDataSection] ^= 1; },
       AuthenticodeInfo::kBadDigest, kChanged},
      {"a byte of the overlay", "overlay-oskendal-sha256.exe", [](Bytes& b) { b[kOverlay] ^= 1; },
       AuthenticodeInfo::kBadDigest, kChanged},
      {"the padding before the table", "overlay-oskendal-sha256.exe",
       [](Bytes& b) { b[PlacesOf(b).table - 1] = 1; }, AuthenticodeInfo::kBadDigest, kChanged},
      // CheckSum and the table's directory entry are left out, and only they.
      {"CheckSum", kSigned, [](Bytes& b) { PutLe32(b, PlacesOf(b).checksum, 0x12345678); },
       AuthenticodeInfo::kValid, "verifies"},
      {"PE32+: CheckSum", "pe64-oskendal-sha256.exe",
       [](Bytes& b) { PutLe32(b, PlacesOf(b).checksum, 0x12345678); }, AuthenticodeInfo::kValid,
       "verifies"},
      {"the byte before CheckSum", kSigned, [](Bytes& b) { b[PlacesOf(b).checksum - 1] ^= 1; },
       AuthenticodeInfo::kBadDigest, kChanged},
      {"the byte after CheckSum", kSigned, [](Bytes& b) { b[PlacesOf(b).checksum + 4] ^= 1; },
       AuthenticodeInfo::kBadDigest, kChanged},
      {"the byte before the table's entry", kSigned,
       [](Bytes& b) { b[PlacesOf(b).table_entry - 1] ^= 1; }, AuthenticodeInfo::kBadDigest,
       kChanged},
      {"PE32+: the byte after the table's entry", "pe64-oskendal-sha256.exe",
       [](Bytes& b) { b[PlacesOf(b).table_entry + 8] ^= 1; }, AuthenticodeInfo::kBadDigest,
       kChanged},
      // The table moved 8 bytes on, after 8 more bytes of padding: the
      // padding is the file's, and hashed.
      {"the table moved after more padding", kSigned,
       [](Bytes& b) {
         const Places p = PlacesOf(b);
         b.insert(b.begin() + static_cast<std::ptrdiff_t>(p.table), 8, 0);
         PutLe32(b, p.table_entry, static_cast<std::uint32_t>(p.table + 8));
       },
       AuthenticodeInfo::kBadDigest, kChanged},
  });
}

TEST(Authenticode, WhatTheSignatureCovers) {
  const std::string kNotVerified = "does not verify";
  ExpectChanges({
      {"the last byte of the signature value", kSigned,
       [](Bytes& b) { b[SignatureEnd(b) - 1] ^= 1; }, AuthenticodeInfo::kBadSignature,
       kNotVerified},
      // The digest in the signed content, made that of another file: it no
      // longer is what the signer signed.
      {"the signed digest", kSigned, [](Bytes& b) { b[SignedDigestAt(b)] ^= 1; },
       AuthenticodeInfo::kBadSignature, kNotVerified},
      {"the signer's public key", kSigned,
       [](Bytes& b) {
         const auto cert = Certificate("oskendal.pem");
         unsigned char* der = nullptr;
         const int size = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert.get()), &der);
         const Bytes key(der, der + std::max(size, 0));
         OPENSSL_free(der);
         const std::size_t at = Find(b, key, PlacesOf(b).table);
         ASSERT_LT(at, b.size()) << "the signer's key is not in the signature";
         b[at + key.size() / 2] ^= 1;
       },
       AuthenticodeInfo::kBadSignature, kNotVerified},
  });
}

TEST(Authenticode, AChangedImageWithItsOwnDigestFailsTheSignature) {
  // Two images that differ in one byte of .data, each signed by the same
  // key: the second one's image under the first one's signature.
  const Bytes original = Read(kSigned);
  const Bytes changed = Read("pe32-changed-oskendal-sha256.exe");
  const std::size_t table = PlacesOf(original).table;
  ASSERT_EQ(original.size(), changed.size());
  ASSERT_EQ(table, PlacesOf(changed).table);
  ASSERT_NE(original[kDataSection], changed[kDataSection]);
  Bytes forged(changed.begin(), changed.begin() + static_cast<std::ptrdiff_t>(table));
  forged.insert(forged.end(), original.begin() + static_cast<std::ptrdiff_t>(table),
                original.end());
  AuthenticodeInfo info = ReadAuthenticode(forged);
  EXPECT_STREQ(StatusName(info.status), "kBadDigest") << info.detail;

  // With the signed digest made the changed image's, the digest matches the
  // file, and only the signer's signature tells.
  const std::size_t from = SignedDigestAt(changed);
  std::copy(changed.begin() + static_cast<std::ptrdiff_t>(from),
            changed.begin() + static_cast<std::ptrdiff_t>(from + 32),
            forged.begin() + static_cast<std::ptrdiff_t>(SignedDigestAt(forged)));
  info = ReadAuthenticode(forged);
  EXPECT_STREQ(StatusName(info.status), "kBadSignature") << info.detail;
  EXPECT_EQ(info.signer_subject, kOskendal);
}

TEST(Authenticode, UnreadableCertificateTables) {
  const Status kMalformed = AuthenticodeInfo::kMalformed;
  ExpectChanges({
      {"a byte after the table", kSigned, [](Bytes& b) { b.push_back(0); }, kMalformed,
       "is followed by 1 byte; it must end the file"},
      {"the table cut short", kSigned, [](Bytes& b) { b.resize(b.size() - 8); }, kMalformed,
       "runs past the end of the file"},
      {"a table size past the end", kSigned,
       [](Bytes& b) { PutLe32(b, PlacesOf(b).table_entry + 4, PlacesOf(b).table_size + 8); },
       kMalformed, "runs past the end of the file"},
      {"a table offset past the end", kSigned,
       [](Bytes& b) {
         PutLe32(b, PlacesOf(b).table_entry, static_cast<std::uint32_t>(b.size() + 8));
       },
       kMalformed, "runs past the end of the file"},
      {"a table size near 4 GiB", kSigned,
       [](Bytes& b) { PutLe32(b, PlacesOf(b).table_entry + 4, 0xFFFFFFF8); }, kMalformed,
       "runs past the end of the file"},
      {"a table at offset 0", kSigned, [](Bytes& b) { PutLe32(b, PlacesOf(b).table_entry, 0); },
       kMalformed, "overlaps the PE headers"},
      {"an entry of 4 bytes", kSigned, [](Bytes& b) { PutLe32(b, PlacesOf(b).table, 4); },
       kMalformed, "does not hold its first entry (4 bytes)"},
      {"an entry longer than the table", kSigned,
       [](Bytes& b) { PutLe32(b, PlacesOf(b).table, PlacesOf(b).table_size + 8); }, kMalformed,
       "does not hold its first entry"},
      {"revision 1.0", kSigned, [](Bytes& b) { PutLe16(b, PlacesOf(b).table + 4, 0x0100); },
       kMalformed, "revision 0x0100, type 0x0002"},
      {"an X.509 entry", kSigned, [](Bytes& b) { PutLe16(b, PlacesOf(b).table + 6, 0x0001); },
       kMalformed, "revision 0x0200, type 0x0001"},
      {"not DER", kSigned, [](Bytes& b) { b[PlacesOf(b).table + 8] = 0x31; }, kMalformed,
       "not a PKCS #7 structure"},
      {"a PKCS #7 cut short", kSigned,
       [](Bytes& b) { PutLe32(b, PlacesOf(b).table, PlacesOf(b).table_size - 64); }, kMalformed,
       "not a PKCS #7 structure"},
      {"content that is not Authenticode's", kSigned,
       [](Bytes& b) { b[Find(b, kSpcIndirectDataOid, PlacesOf(b).table) + 11] = 0x05; }, kMalformed,
       "content type 1.3.6.1.4.1.311.2.1.5"},
      {"a signature for a cabinet", kSigned,
       [](Bytes& b) { b[Find(b, kSpcPeImageDataOid, PlacesOf(b).table) + 11] = 0x19; }, kMalformed,
       "not one for a PE image (signed data 1.3.6.1.4.1.311.2.1.25)"},
      // The last arc of the DigestInfo's algorithm: SHA-256 made SHA-224,
      // then SHA-384.
      {"a digest algorithm Windows does not take", kSigned,
       [](Bytes& b) { b[SignedDigestAt(b) - 5] = 0x04; }, kMalformed,
       "algorithm 2.16.840.1.101.3.4.2.4, not SHA-1, SHA-256, SHA-384 or SHA-512"},
      {"a SHA-384 digest of 32 bytes", kSigned, [](Bytes& b) { b[SignedDigestAt(b) - 5] = 0x02; },
       kMalformed, "SHA-384 digest has 32 bytes"},
      {"an optional header neither PE32 nor PE32+", kSigned,
       [](Bytes& b) { PutLe16(b, PlacesOf(b).optional, 0x0107); }, kMalformed, "magic 0x0107"},
  });
}

TEST(Authenticode, EveryCutOfASignedFileIsRejected) {
  for (const char* file : {kSigned, "pe64-oskendal-sha256.exe"}) {
    const Bytes whole = Read(file);
    const Places places = PlacesOf(whole);
    for (std::size_t size = 0; size < whole.size(); ++size) {
      const AuthenticodeInfo info = ReadAuthenticode(Bytes(whole.begin(), whole.begin() + size));
      const bool headers = size >= places.table_entry + 8;
      EXPECT_TRUE(info.status == AuthenticodeInfo::kMalformed ||
                  (!headers && info.status == AuthenticodeInfo::kNotPe))
          << file << " cut to " << size << " bytes: " << StatusName(info.status) << ", "
          << info.detail;
    }
  }
}

// The name reader that the Windows checker shows signers with, against
// OpenSSL's text of the same names.
TEST(AuthenticodeNames, ReadAsOpenSslPrintsThem) {
  for (const char* file : {kSigned, "pe32-mueller-sha256.exe", "pe32-oskendal-renewed-sha256.exe"}) {
    const AuthenticodeInfo info = ReadAuthenticode(Read(file));
    ASSERT_EQ(info.status, AuthenticodeInfo::kValid) << file;
    EXPECT_EQ(NameText(info.signer_subject_der), info.signer_subject) << file;
  }
}

Bytes Tlv(std::uint8_t tag, const Bytes& contents) {
  Bytes out{tag};
  if (contents.size() < 0x80) {
    out.push_back(static_cast<std::uint8_t>(contents.size()));
  } else {
    out.push_back(0x82);
    out.push_back(static_cast<std::uint8_t>(contents.size() >> 8));
    out.push_back(static_cast<std::uint8_t>(contents.size()));
  }
  out.insert(out.end(), contents.begin(), contents.end());
  return out;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// An attribute of type 2.5.4.`arc`, its value of `tag`.
Bytes Attribute(std::uint8_t arc, std::uint8_t tag, const Bytes& value) {
  Bytes pair = Tlv(0x06, {0x55, 0x04, arc});
  const Bytes v = Tlv(tag, value);
  pair.insert(pair.end(), v.begin(), v.end());
  return Tlv(0x30, pair);
}

Bytes Name(const std::vector<Bytes>& sets) {
  Bytes all;
  for (const Bytes& set : sets) {
    const Bytes s = Tlv(0x31, set);
    all.insert(all.end(), s.begin(), s.end());
  }
  return Tlv(0x30, all);
}

Bytes Join(const Bytes& a, const Bytes& b) {
  Bytes out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

TEST(AuthenticodeNames, StringsEscapesAndUnreadableNames) {
  constexpr std::uint8_t kCn = 3, kO = 10, kC = 6;
  constexpr std::uint8_t kUtf8 = 0x0C, kPrintable = 0x13, kBmp = 0x1E, kUniversal = 0x1C;
  const Bytes two_rdns = Name({Attribute(kC, kPrintable, Text("DE")),
                               Attribute(kCn, kUtf8, Text("Oskendal"))});
  Bytes cut = two_rdns;
  cut.pop_back();
  const struct {
    const char* name;
    Bytes der;
    std::string text;
  } kCases[] = {
      {"last attribute first", two_rdns, "CN=Oskendal, C=DE"},
      {"a multi-valued RDN", Name({Join(Attribute(kO, kUtf8, Text("A")), Attribute(kCn, kUtf8, Text("B")))}),
       "CN=B + O=A"},
      {"RFC 2253 specials", Name({Attribute(kO, kUtf8, Text("Acme, Inc. + \"<x>\";\\"))}),
       "O=Acme\\, Inc. \\+ \\\"\\<x\\>\\\"\\;\\\\"},
      {"leading hash and blanks", Name({Attribute(kO, kUtf8, Text("#a b "))}), "O=\\#a b\\ "},
      {"a control character in hex", Name({Attribute(kO, kUtf8, Text("a\nb"))}), "O=a\\0Ab"},
      {"BMPString", Name({Attribute(kO, kBmp, {0x00, 'M', 0x00, 0xFC, 0x30, 0xAB})}),
       "O=M\xC3\xBC\xE3\x82\xAB"},
      {"UniversalString", Name({Attribute(kO, kUniversal, {0, 1, 0xF6, 0x00})}),
       "O=\xF0\x9F\x98\x80"},
      {"a value of another type in hex", Name({Attribute(kO, 0x02, {0x05})}), "O=#020105"},
      {"an unknown attribute type, dotted", Tlv(0x30, Tlv(0x31, Tlv(0x30, Join(Tlv(0x06, {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37}), Tlv(kUtf8, Text("x")))))),
       "1.3.6.1.4.1.311=x"},
      {"a long value", Name({Attribute(kCn, kUtf8, Bytes(200, 'a'))}),
       "CN=" + std::string(200, 'a')},
      {"bad UTF-8: the value in hex", Name({Attribute(kO, kUtf8, {0xC3})}), "O=#0C01C3"},
      {"an odd BMPString", Name({Attribute(kO, kBmp, {0x00})}), "O=#1E0100"},
      {"cut short", cut, "#" + std::string()},
      {"bytes after the name", Join(two_rdns, {0x00}), "#"},
      {"empty", {}, "#"},
      {"a name without attributes", {0x30, 0x00}, ""},
  };
  for (const auto& c : kCases) {
    const std::string text = NameText(c.der);
    if (c.text == "#") {
      EXPECT_EQ(text.substr(0, 1), "#") << c.name << ": " << text;
      EXPECT_EQ(text.size(), 1 + 2 * c.der.size()) << c.name << ": " << text;
    } else {
      EXPECT_EQ(text, c.text) << c.name;
    }
  }
}

}  // namespace
}  // namespace camsetup::check
