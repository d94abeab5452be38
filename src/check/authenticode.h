// Authenticode signatures of the package's programs, as the signed launcher
// checks them before it starts one.
//
// AuthenticodeInfo is filled on Linux by ReadAuthenticode (OpenSSL); on
// Windows the checker asks WinVerifyTrust instead, and compares signers
// with SameSubject all the same.
#ifndef CAMSETUP_CHECK_AUTHENTICODE_H_
#define CAMSETUP_CHECK_AUTHENTICODE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace camsetup::check {

struct AuthenticodeInfo {
  enum Status {
    kUnsigned,      // a PE file without a certificate table
    kValid,         // the signature verifies and covers the file as it is
    kBadDigest,     // the signature verifies, but the file changed after signing
    kBadSignature,  // the signature does not verify with the signer's key
    kMalformed,     // a PE file whose certificate table or signature cannot be read
    kNotPe,         // not a PE file at all
  };
  Status status = kNotPe;
  // The subject of the certificate that the signature names as its signer,
  // once that certificate was found (kValid, kBadDigest, kBadSignature);
  // empty otherwise. The text is for display, the common name first
  // ("CN=..., O=..., C=..."); the DER encoding is for comparison.
  std::string signer_subject;
  std::vector<std::uint8_t> signer_subject_der;
  // Why the status is what it is, and what was not judged: one sentence or
  // two, for the report.
  std::string detail;
};

// Whether two signatures name the same publisher, as the launcher decides
// it: both verify, and their signers' subjects are the same bytes
// (CertCompareCertificateName compares the encoded names). A renewed
// certificate with the same subject is the same publisher.
bool SameSubject(const AuthenticodeInfo& a, const AuthenticodeInfo& b);

// An X.509 name (its DER encoding) as text, as the reports show a signer:
// the last attribute first ("CN=..., O=..., C=DE"), RFC 2253's escapes, the
// strings in UTF-8, a value that is no readable string as "#" and its DER
// in hex; a name that cannot be read, "#" and all its bytes in hex.
std::string NameText(const std::vector<std::uint8_t>& der);

// An OLE compound file (an MSI package) by its first eight bytes. Its
// signature is not read here.
bool IsOleCompoundFile(const std::vector<std::uint8_t>& file_bytes);

#ifndef _WIN32
// Reads and verifies the Authenticode signature of a PE file: the first
// entry of its certificate table, a PKCS #7 SignedData whose
// SpcIndirectDataContent holds the file's digest (SHA-1, SHA-256, SHA-384 or
// SHA-512). The signer's signature is checked with the key of its
// certificate, and the digest against the file.
//
// Not judged here, as Windows would: whether the certificate chains to a
// trusted root, its validity period and key usage, revocation, time stamps
// and nested signatures. Where no chain is checked, nothing vouches for the
// subject that the certificate states.
AuthenticodeInfo ReadAuthenticode(const std::vector<std::uint8_t>& file_bytes);
#endif

}  // namespace camsetup::check

#endif  // CAMSETUP_CHECK_AUTHENTICODE_H_
