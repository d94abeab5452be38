#include "check/authenticode.h"

#include "check/text.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#ifndef _WIN32
#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdio>
#include <memory>
#include <string_view>
#endif

namespace camsetup::check {

bool SameSubject(const AuthenticodeInfo& a, const AuthenticodeInfo& b) {
  return a.status == AuthenticodeInfo::kValid && b.status == AuthenticodeInfo::kValid &&
         !a.signer_subject_der.empty() && a.signer_subject_der == b.signer_subject_der;
}

bool IsOleCompoundFile(const std::vector<std::uint8_t>& file_bytes) {
  static const std::uint8_t kMagic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  return file_bytes.size() >= sizeof(kMagic) &&
         std::memcmp(file_bytes.data(), kMagic, sizeof(kMagic)) == 0;
}

namespace {

// One DER element read from the front of `in`: a one-byte tag and definite
// length, as names are encoded.
struct DerView {
  const std::uint8_t* data;
  std::size_t size;
};

bool TakeElement(DerView& in, std::uint8_t* tag, DerView* contents, DerView* whole = nullptr) {
  if (in.size < 2 || (in.data[0] & 0x1F) == 0x1F) return false;
  std::size_t length = in.data[1];
  std::size_t header = 2;
  if (length & 0x80) {
    const std::size_t count = length & 0x7F;
    if (count == 0 || count > 4 || in.size < 2 + count) return false;
    length = 0;
    for (std::size_t i = 0; i < count; ++i) length = (length << 8) | in.data[2 + i];
    header += count;
  }
  if (length > in.size - header) return false;
  *tag = in.data[0];
  *contents = {in.data + header, length};
  if (whole != nullptr) *whole = {in.data, header + length};
  in.data += header + length;
  in.size -= header + length;
  return true;
}

std::string Hex(DerView bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < bytes.size; ++i) {
    text += kDigits[bytes.data[i] >> 4];
    text += kDigits[bytes.data[i] & 0x0F];
  }
  return text;
}

// An attribute type by the short name that X.509 tools print, else dotted.
bool AttributeName(DerView oid, std::string* name) {
  if (oid.size == 0) return false;
  std::string dotted;
  std::uint64_t arc = 0;
  bool first = true;
  for (std::size_t i = 0; i < oid.size; ++i) {
    if (arc > (UINT64_MAX >> 7)) return false;
    arc = (arc << 7) | (oid.data[i] & 0x7F);
    if (oid.data[i] & 0x80) {
      if (i + 1 == oid.size) return false;
      continue;
    }
    if (first) {
      const std::uint64_t top = arc < 40 ? 0 : arc < 80 ? 1 : 2;
      dotted = std::to_string(top) + "." + std::to_string(arc - 40 * top);
      first = false;
    } else {
      dotted += "." + std::to_string(arc);
    }
    arc = 0;
  }
  static const struct {
    const char* oid;
    const char* name;
  } kNames[] = {
      {"2.5.4.3", "CN"},           {"2.5.4.4", "SN"},
      {"2.5.4.5", "serialNumber"}, {"2.5.4.6", "C"},
      {"2.5.4.7", "L"},            {"2.5.4.8", "ST"},
      {"2.5.4.9", "street"},       {"2.5.4.10", "O"},
      {"2.5.4.11", "OU"},          {"2.5.4.12", "title"},
      {"2.5.4.15", "businessCategory"}, {"2.5.4.17", "postalCode"},
      {"2.5.4.42", "GN"},          {"1.2.840.113549.1.9.1", "emailAddress"},
      {"0.9.2342.19200300.100.1.25", "DC"}, {"0.9.2342.19200300.100.1.1", "UID"},
      {"1.3.6.1.4.1.311.60.2.1.2", "jurisdictionST"},
      {"1.3.6.1.4.1.311.60.2.1.3", "jurisdictionC"},
  };
  *name = dotted;
  for (const auto& known : kNames) {
    if (dotted == known.oid) *name = known.name;
  }
  return true;
}

// A string value's characters as code points; false for a type that is no
// string, or bytes that its encoding does not allow.
bool StringCharacters(std::uint8_t tag, DerView value, std::vector<std::uint32_t>* characters) {
  constexpr std::uint8_t kUtf8String = 0x0C, kPrintableString = 0x13, kT61String = 0x14,
                         kIa5String = 0x16, kVisibleString = 0x1A, kUniversalString = 0x1C,
                         kBmpString = 0x1E;
  characters->clear();
  switch (tag) {
    case kUtf8String:
      return DecodeUtf8(std::string_view(reinterpret_cast<const char*>(value.data), value.size),
                        characters);
    case kPrintableString:
    case kT61String:  // read as Latin-1, as X.509 tools do
    case kIa5String:
    case kVisibleString:
      for (std::size_t i = 0; i < value.size; ++i) characters->push_back(value.data[i]);
      return true;
    case kBmpString:
      if (value.size % 2 != 0) return false;
      for (std::size_t i = 0; i < value.size; i += 2) {
        const std::uint32_t unit = (value.data[i] << 8) | value.data[i + 1];
        if (unit >= 0xD800 && unit < 0xE000) return false;
        characters->push_back(unit);
      }
      return true;
    case kUniversalString:
      if (value.size % 4 != 0) return false;
      for (std::size_t i = 0; i < value.size; i += 4) {
        const std::uint32_t c = (static_cast<std::uint32_t>(value.data[i]) << 24) |
                                (value.data[i + 1] << 16) | (value.data[i + 2] << 8) |
                                value.data[i + 3];
        if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return false;
        characters->push_back(c);
      }
      return true;
    default:
      return false;
  }
}

// A value with RFC 2253's escapes: its specials, a leading '#' or blank, a
// trailing blank, and control characters in hex.
std::string EscapedValue(const std::vector<std::uint32_t>& characters) {
  std::string out;
  for (std::size_t i = 0; i < characters.size(); ++i) {
    const std::uint32_t c = characters[i];
    if (c < 0x20 || c == 0x7F) {
      const std::uint8_t byte = static_cast<std::uint8_t>(c);
      out += "\\" + Hex({&byte, 1});
      continue;
    }
    const bool special = c == ',' || c == '+' || c == '"' || c == '\\' || c == '<' ||
                         c == '>' || c == ';' || (i == 0 && (c == '#' || c == ' ')) ||
                         (i + 1 == characters.size() && c == ' ');
    if (special) out += '\\';
    AppendUtf8(c, out);
  }
  return out;
}

}  // namespace

std::string NameText(const std::vector<std::uint8_t>& der) {
  struct Attribute {
    std::string text;
    std::size_t set;
  };
  std::vector<Attribute> attributes;
  DerView in{der.data(), der.size()};
  DerView name;
  std::uint8_t tag = 0;
  bool read = TakeElement(in, &tag, &name) && tag == 0x30 && in.size == 0;
  for (std::size_t set_index = 0; read && name.size > 0; ++set_index) {
    DerView set;
    read = TakeElement(name, &tag, &set) && tag == 0x31 && set.size > 0;
    while (read && set.size > 0) {
      DerView pair, oid, value, whole_value;
      std::uint8_t value_tag = 0;
      std::string type;
      read = TakeElement(set, &tag, &pair) && tag == 0x30 && TakeElement(pair, &tag, &oid) &&
             tag == 0x06 && AttributeName(oid, &type) &&
             TakeElement(pair, &value_tag, &value, &whole_value) && pair.size == 0;
      if (!read) break;
      std::vector<std::uint32_t> characters;
      const std::string text = StringCharacters(value_tag, value, &characters)
                                   ? EscapedValue(characters)
                                   : "#" + Hex(whole_value);
      attributes.push_back({type + "=" + text, set_index});
    }
  }
  if (!read) return "#" + Hex({der.data(), der.size()});
  std::string out;
  for (std::size_t i = attributes.size(); i-- > 0;) {
    if (i + 1 < attributes.size()) {
      out += attributes[i].set == attributes[i + 1].set ? " + " : ", ";
    }
    out += attributes[i].text;
  }
  return out;
}

#ifndef _WIN32
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kNotJudged[] =
    "Not judged on Linux: the chain to a trusted root, the certificate's validity period "
    "and key usage, revocation.";

// Object identifiers of Authenticode's content.
constexpr char kSpcIndirectData[] = "1.3.6.1.4.1.311.2.1.4";
constexpr char kSpcPeImageData[] = "1.3.6.1.4.1.311.2.1.15";

constexpr std::uint16_t kWinCertRevision2 = 0x0200;
constexpr std::uint16_t kWinCertTypePkcsSignedData = 0x0002;

struct FreePkcs7 {
  void operator()(PKCS7* p) const { PKCS7_free(p); }
};
struct FreeX509Sig {
  void operator()(X509_SIG* p) const { X509_SIG_free(p); }
};
struct FreeAsn1Object {
  void operator()(ASN1_OBJECT* p) const { ASN1_OBJECT_free(p); }
};
struct FreeX509Stack {
  // The stack only: its certificates belong to the PKCS #7 structure.
  void operator()(STACK_OF(X509) * p) const { sk_X509_free(p); }
};
struct FreeBio {
  void operator()(BIO* p) const { BIO_free(p); }
};
struct FreeMdCtx {
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};

std::uint16_t Le16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t Le32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Whether `count` bytes from `offset` lie within `size` bytes.
bool Within(std::size_t offset, std::size_t count, std::size_t size) {
  return offset <= size && count <= size - offset;
}

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof(text), "0x%04X", value & 0xFFFFu);
  return text;
}

std::string ByteCount(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

AuthenticodeInfo Finding(AuthenticodeInfo::Status status, std::string detail) {
  AuthenticodeInfo info;
  info.status = status;
  info.detail = std::move(detail);
  return info;
}

// What OpenSSL said last, for the detail; its error queue is emptied.
std::string OpenSslReason() {
  const unsigned long error = ERR_peek_last_error();
  const char* reason = error != 0 ? ERR_reason_error_string(error) : nullptr;
  ERR_clear_error();
  return reason != nullptr ? std::string(" (OpenSSL: ") + reason + ")" : std::string();
}

// The parts of a PE file that its signature leaves out of the digest.
struct PeLayout {
  std::size_t checksum;     // the optional header's CheckSum, 4 bytes
  std::size_t table_entry;  // the certificate table's data directory entry, 8 bytes
  std::size_t table;        // the certificate table: a file offset, not an RVA
  std::uint32_t table_size;
};

// Reads the headers up to the certificate table's first entry. False, with
// `info` filled, for a file that has no signature to verify.
bool FindCertificateTable(const Bytes& file, PeLayout* layout, AuthenticodeInfo* info) {
  const std::size_t size = file.size();
  if (size < 64 || file[0] != 'M' || file[1] != 'Z') {
    *info = Finding(AuthenticodeInfo::kNotPe, "Not a PE file: no MZ header.");
    return false;
  }
  const std::size_t pe = Le32(file, 0x3C);
  if (!Within(pe, 4, size) || std::memcmp(&file[pe], "PE\0\0", 4) != 0) {
    *info = Finding(AuthenticodeInfo::kNotPe, "Not a PE file: an MZ header without a PE header.");
    return false;
  }
  // The COFF header (20 bytes), then the optional header.
  const std::size_t optional = pe + 4 + 20;
  if (!Within(optional, 2, size)) {
    *info = Finding(AuthenticodeInfo::kMalformed, "The file ends inside its PE headers.");
    return false;
  }
  const std::uint16_t magic = Le16(file, optional);
  if (magic != 0x10B && magic != 0x20B) {
    *info = Finding(AuthenticodeInfo::kMalformed,
                    "The optional header is neither PE32 nor PE32+ (magic " + Hex4(magic) + ").");
    return false;
  }
  // PE32+ has an 8-byte ImageBase and no BaseOfData, and 8-byte stack and
  // heap sizes: its data directories start 16 bytes later.
  const std::size_t extra = magic == 0x20B ? 16 : 0;
  const std::size_t directory_count = optional + 92 + extra;
  const std::size_t table_entry = optional + 96 + extra + 4 * 8;
  if (!Within(directory_count, 4, size)) {
    *info = Finding(AuthenticodeInfo::kMalformed, "The file ends inside its PE headers.");
    return false;
  }
  if (Le32(file, directory_count) < 5) {
    *info = Finding(AuthenticodeInfo::kUnsigned,
                    "Not signed: the PE headers have no certificate table entry.");
    return false;
  }
  if (!Within(table_entry, 8, size)) {
    *info = Finding(AuthenticodeInfo::kMalformed, "The file ends inside its PE headers.");
    return false;
  }
  const std::size_t table = Le32(file, table_entry);
  const std::uint32_t table_size = Le32(file, table_entry + 4);
  if (table_size == 0) {
    // The launcher, too, takes a table of no bytes for none.
    *info = Finding(AuthenticodeInfo::kUnsigned, "Not signed: no certificate table.");
    return false;
  }
  const std::string where = "The certificate table (" + ByteCount(table_size) + " at offset " +
                            std::to_string(table) + ")";
  if (table < table_entry + 8) {
    *info = Finding(AuthenticodeInfo::kMalformed, where + " overlaps the PE headers.");
    return false;
  }
  if (!Within(table, table_size, size)) {
    *info = Finding(AuthenticodeInfo::kMalformed,
                    where + " runs past the end of the file (" + ByteCount(size) + ").");
    return false;
  }
  // Windows takes a signature to end the file; what follows it would be
  // covered by no digest.
  if (table + table_size != size) {
    *info = Finding(AuthenticodeInfo::kMalformed, where + " is followed by " +
                                                      ByteCount(size - table - table_size) +
                                                      "; it must end the file.");
    return false;
  }
  // The first WIN_CERTIFICATE: dwLength (header included), wRevision,
  // wCertificateType, then the signature. WinVerifyTrust verifies this one.
  if (table_size < 8 || Le32(file, table) < 8 || Le32(file, table) > table_size) {
    *info = Finding(
        AuthenticodeInfo::kMalformed,
        where + " does not hold its first entry" +
            (table_size < 8 ? std::string(".") : " (" + ByteCount(Le32(file, table)) + ")."));
    return false;
  }
  const std::uint16_t revision = Le16(file, table + 4);
  const std::uint16_t type = Le16(file, table + 6);
  if (revision != kWinCertRevision2 || type != kWinCertTypePkcsSignedData) {
    *info =
        Finding(AuthenticodeInfo::kMalformed,
                "The certificate table's first entry is revision " + Hex4(revision) + ", type " +
                    Hex4(type) + ", not a PKCS #7 SignedData (revision 0x0200, type 0x0002).");
    return false;
  }
  *layout = PeLayout{optional + 64, table_entry, table, table_size};
  return true;
}

struct DigestKind {
  int nid;
  const char* name;
  const EVP_MD* (*md)();
};
const DigestKind kDigests[] = {
    {NID_sha1, "SHA-1", EVP_sha1},
    {NID_sha256, "SHA-256", EVP_sha256},
    {NID_sha384, "SHA-384", EVP_sha384},
    {NID_sha512, "SHA-512", EVP_sha512},
};

// The Authenticode digest: every byte of the file before the certificate
// table except the CheckSum and the certificate table's directory entry.
// Hashed in file order, as osslsigncode signs; for an image whose sections
// follow its headers in order, with no gaps, this is the same digest as
// hashing the headers, then the sections by file offset, then what follows
// them. The zero padding before the table is part of what is hashed.
bool PeDigest(const Bytes& file, const PeLayout& layout, const EVP_MD* md,
              std::vector<std::uint8_t>* digest) {
  std::unique_ptr<EVP_MD_CTX, FreeMdCtx> context(EVP_MD_CTX_new());
  const std::uint8_t* data = file.data();
  unsigned length = 0;
  digest->resize(EVP_MAX_MD_SIZE);
  const bool ok = context != nullptr && EVP_DigestInit_ex(context.get(), md, nullptr) == 1 &&
                  EVP_DigestUpdate(context.get(), data, layout.checksum) == 1 &&
                  EVP_DigestUpdate(context.get(), data + layout.checksum + 4,
                                   layout.table_entry - (layout.checksum + 4)) == 1 &&
                  EVP_DigestUpdate(context.get(), data + layout.table_entry + 8,
                                   layout.table - (layout.table_entry + 8)) == 1 &&
                  EVP_DigestFinal_ex(context.get(), digest->data(), &length) == 1;
  digest->resize(ok ? length : 0);
  return ok;
}

// The signer's signature over `content`: through its authenticated
// attributes, whose message digest must be that of the content, with the
// key of its certificate. No chain is built, and no trust judged.
// (PKCS7_verify does the same after its chain check, but OpenSSL 3.0's
// loses a BIO where the digest algorithm is unknown.)
bool SignatureVerifies(PKCS7* p7, PKCS7_SIGNER_INFO* signer_info, X509* signer,
                       const unsigned char* content, long size) {
  BIO* in = BIO_new_mem_buf(content, static_cast<int>(size));
  if (in == nullptr) return false;
  // A digest BIO for each of the SignedData's digest algorithms, over `in`.
  BIO* chain = PKCS7_dataInit(p7, in);
  if (chain == nullptr) {
    BIO_free(in);
    return false;
  }
  char buffer[4096];
  while (BIO_read(chain, buffer, sizeof(buffer)) > 0) {
  }
  const bool verifies = PKCS7_signatureVerify(chain, p7, signer_info, signer) == 1;
  BIO_free_all(chain);  // `in` too
  return verifies;
}

// One DER element's header at `*p`, of at most `max` bytes: true for a
// universal, definite-length element with `tag`, whose contents fit; `*p`
// moves to its contents.
bool EnterElement(const unsigned char** p, long max, int tag, long* length) {
  int found_tag = 0;
  int found_class = 0;
  const int ret = ASN1_get_object(p, length, &found_tag, &found_class, max);
  // 0x80: an error or contents that overrun `max`; 0x01: indefinite length.
  return (ret & 0x81) == 0 && found_class == V_ASN1_UNIVERSAL && found_tag == tag;
}

// The name as text, the common name first, with RFC 2253's escapes:
// UTF-8 where every string decodes, else non-ASCII characters escaped, else
// the encoded name in hex.
std::string OpenSslNameText(const X509_NAME* name) {
  const unsigned long base = (XN_FLAG_RFC2253 & ~XN_FLAG_SEP_MASK) | XN_FLAG_SEP_CPLUS_SPC;
  for (const unsigned long flags : {base & ~ASN1_STRFLGS_ESC_MSB, base}) {
    std::unique_ptr<BIO, FreeBio> bio(BIO_new(BIO_s_mem()));
    if (bio == nullptr || X509_NAME_print_ex(bio.get(), name, 0, flags) < 0) continue;
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    std::string text(data != nullptr ? data : "",
                     length > 0 ? static_cast<std::size_t>(length) : 0);
    if (IsWellFormedUtf8(text)) return text;
  }
  ERR_clear_error();
  unsigned char* der = nullptr;
  const int length = i2d_X509_NAME(name, &der);
  const std::string text =
      "#" + Hex({der, length > 0 ? static_cast<std::size_t>(length) : 0});
  OPENSSL_free(der);
  return text;
}

// The signature at the certificate table's first entry, against the file.
AuthenticodeInfo Verify(const Bytes& file, const PeLayout& layout) {
  const unsigned char* blob = file.data() + layout.table + 8;
  const long blob_size = static_cast<long>(Le32(file, layout.table) - 8);
  std::unique_ptr<PKCS7, FreePkcs7> p7(d2i_PKCS7(nullptr, &blob, blob_size));
  if (p7 == nullptr) {
    return Finding(AuthenticodeInfo::kMalformed,
                   "The signature is not a PKCS #7 structure" + OpenSslReason() + ".");
  }
  if (!PKCS7_type_is_signed(p7.get()) || p7->d.sign == nullptr || p7->d.sign->contents == nullptr) {
    return Finding(AuthenticodeInfo::kMalformed, "The signature is not a PKCS #7 SignedData.");
  }

  // The signed content: an SpcIndirectDataContent, a SEQUENCE of the kind
  // of file signed and the DigestInfo of its digest.
  const PKCS7* content = p7->d.sign->contents;
  char oid[80] = "";
  if (content->type != nullptr) OBJ_obj2txt(oid, sizeof(oid), content->type, 1);
  if (std::strcmp(oid, kSpcIndirectData) != 0 || content->d.other == nullptr ||
      content->d.other->type != V_ASN1_SEQUENCE) {
    return Finding(AuthenticodeInfo::kMalformed,
                   std::string("The signature's content is not Authenticode's (content type ") +
                       (oid[0] != '\0' ? oid : "none") + ").");
  }
  const ASN1_STRING* sequence = content->d.other->value.sequence;
  const unsigned char* p = sequence->data;
  long content_size = 0;
  if (!EnterElement(&p, sequence->length, V_ASN1_SEQUENCE, &content_size)) {
    return Finding(AuthenticodeInfo::kMalformed, "The signed content cannot be read.");
  }
  // Authenticode signs the contents of this SEQUENCE, without its tag and
  // length.
  const unsigned char* const signed_bytes = p;
  const unsigned char* const content_end = p + content_size;

  long attribute_size = 0;
  if (!EnterElement(&p, content_end - p, V_ASN1_SEQUENCE, &attribute_size)) {
    return Finding(AuthenticodeInfo::kMalformed, "The signed content cannot be read.");
  }
  const unsigned char* const digest_info = p + attribute_size;
  std::unique_ptr<ASN1_OBJECT, FreeAsn1Object> data_type(
      d2i_ASN1_OBJECT(nullptr, &p, attribute_size));
  char data_oid[80] = "";
  if (data_type != nullptr) OBJ_obj2txt(data_oid, sizeof(data_oid), data_type.get(), 1);
  if (std::strcmp(data_oid, kSpcPeImageData) != 0) {
    ERR_clear_error();
    return Finding(AuthenticodeInfo::kMalformed,
                   std::string("The signature is not one for a PE image (signed data ") +
                       (data_oid[0] != '\0' ? data_oid : "unreadable") + ").");
  }

  p = digest_info;
  std::unique_ptr<X509_SIG, FreeX509Sig> digest_sig(d2i_X509_SIG(nullptr, &p, content_end - p));
  if (digest_sig == nullptr) {
    return Finding(AuthenticodeInfo::kMalformed,
                   "The signed digest cannot be read" + OpenSslReason() + ".");
  }
  const X509_ALGOR* algorithm = nullptr;
  const ASN1_OCTET_STRING* signed_digest = nullptr;
  X509_SIG_get0(digest_sig.get(), &algorithm, &signed_digest);
  const ASN1_OBJECT* algorithm_oid = nullptr;
  X509_ALGOR_get0(&algorithm_oid, nullptr, nullptr, algorithm);
  const DigestKind* kind = nullptr;
  for (const DigestKind& k : kDigests) {
    if (OBJ_obj2nid(algorithm_oid) == k.nid) kind = &k;
  }
  if (kind == nullptr) {
    char name[80] = "";
    if (algorithm_oid != nullptr) OBJ_obj2txt(name, sizeof(name), algorithm_oid, 1);
    return Finding(AuthenticodeInfo::kMalformed,
                   std::string("The file's digest is signed with algorithm ") + name +
                       ", not SHA-1, SHA-256, SHA-384 or SHA-512.");
  }
  const EVP_MD* md = kind->md();
  if (ASN1_STRING_length(signed_digest) != EVP_MD_get_size(md)) {
    return Finding(AuthenticodeInfo::kMalformed,
                   std::string("The signed ") + kind->name + " digest has " +
                       ByteCount(static_cast<std::size_t>(ASN1_STRING_length(signed_digest))) +
                       ".");
  }

  // The signer: Authenticode has exactly one, and its certificate travels
  // in the signature.
  STACK_OF(PKCS7_SIGNER_INFO)* signer_infos = PKCS7_get_signer_info(p7.get());
  const int signer_count = sk_PKCS7_SIGNER_INFO_num(signer_infos);
  if (signer_count != 1) {
    return Finding(AuthenticodeInfo::kMalformed,
                   "The signature has " + std::to_string(signer_count < 0 ? 0 : signer_count) +
                       " signers rather than one.");
  }
  std::unique_ptr<STACK_OF(X509), FreeX509Stack> signers(PKCS7_get0_signers(p7.get(), nullptr, 0));
  if (signers == nullptr || sk_X509_num(signers.get()) != 1) {
    return Finding(AuthenticodeInfo::kMalformed,
                   "The signer's certificate is not in the signature" + OpenSslReason() + ".");
  }
  X509* signer = sk_X509_value(signers.get(), 0);
  const X509_NAME* subject = X509_get_subject_name(signer);
  AuthenticodeInfo info;
  info.signer_subject = OpenSslNameText(subject);
  unsigned char* der = nullptr;
  const int der_size = i2d_X509_NAME(subject, &der);
  if (der_size > 0) info.signer_subject_der.assign(der, der + der_size);
  OPENSSL_free(der);

  if (!SignatureVerifies(p7.get(), sk_PKCS7_SIGNER_INFO_value(signer_infos, 0), signer,
                         signed_bytes, content_end - signed_bytes)) {
    info.status = AuthenticodeInfo::kBadSignature;
    info.detail = "The signature does not verify with the key of its signer's certificate" +
                  OpenSslReason() + ".";
    return info;
  }

  std::vector<std::uint8_t> digest;
  if (!PeDigest(file, layout, md, &digest)) {
    info.status = AuthenticodeInfo::kMalformed;
    info.detail = std::string("The file's ") + kind->name + " digest cannot be computed" +
                  OpenSslReason() + ".";
    return info;
  }
  if (digest.size() != static_cast<std::size_t>(ASN1_STRING_length(signed_digest)) ||
      std::memcmp(digest.data(), ASN1_STRING_get0_data(signed_digest), digest.size()) != 0) {
    info.status = AuthenticodeInfo::kBadDigest;
    info.detail = std::string("The file's ") + kind->name +
                  " digest is not the signed one: the file changed after it was signed.";
    return info;
  }
  info.status = AuthenticodeInfo::kValid;
  info.detail = std::string("The signature verifies, and its ") + kind->name +
                " digest is the file's. " + kNotJudged;
  return info;
}

}  // namespace

AuthenticodeInfo ReadAuthenticode(const std::vector<std::uint8_t>& file_bytes) {
  AuthenticodeInfo info;
  PeLayout layout;
  if (FindCertificateTable(file_bytes, &layout, &info)) info = Verify(file_bytes, layout);
  ERR_clear_error();
  return info;
}
#endif  // _WIN32

}  // namespace camsetup::check
