#include "archive/aes_authentication.h"

#include <limits.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <string.h>

namespace {

// The AES form of zip entries: salt, two password check bytes, the
// encrypted data, then the first 10 bytes of an HMAC-SHA1 over that data.
// The keys come from PBKDF2-HMAC-SHA1 with 1000 rounds: the encryption key,
// the authentication key, then the check bytes.
constexpr int kRounds = 1000;
constexpr size_t kCheckLength = 2;
constexpr size_t kCodeLength = 10;
constexpr size_t kMaxKeyLength = 32;

// The key length of an AES method; its salt is half as long. 0 for others.
size_t KeyLength(zip_uint16_t method) {
    switch (method) {
        case ZIP_EM_AES_128:
            return 16;
        case ZIP_EM_AES_192:
            return 24;
        case ZIP_EM_AES_256:
            return 32;
        default:
            return 0;
    }
}

// Never asks for more than remains: for a stored entry libzip checks a CRC
// over the encrypted bytes on the read past their end, which always fails.
bool ReadExactly(zip_file_t* raw, void* into, zip_uint64_t length) {
    return zip_fread(raw, into, length) == static_cast<zip_int64_t>(length);
}

// The code over the next length bytes of raw, read through buffer.
bool CodeOfData(zip_file_t* raw, zip_uint64_t length, const unsigned char* key, size_t keyLength,
                unsigned char* buffer, size_t size, unsigned char (&code)[kCodeLength]) {
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* context = mac != nullptr ? EVP_MAC_CTX_new(mac) : nullptr;
    char digest[] = "SHA1";
    const OSSL_PARAM parameters[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_end()};
    bool ok = context != nullptr && EVP_MAC_init(context, key, keyLength, parameters) == 1;
    while (ok && length > 0) {
        const size_t n = length < size ? static_cast<size_t>(length) : size;
        ok = ReadExactly(raw, buffer, n) && EVP_MAC_update(context, buffer, n) == 1;
        length -= n;
    }
    unsigned char full[EVP_MAX_MD_SIZE];
    size_t fullLength = 0;
    ok = ok && EVP_MAC_final(context, full, &fullLength, sizeof full) == 1 &&
         fullLength >= kCodeLength;
    if (ok) memcpy(code, full, kCodeLength);
    EVP_MAC_CTX_free(context);
    EVP_MAC_free(mac);
    return ok;
}

}  // namespace

bool IsAesMethod(zip_uint16_t method) {
    return KeyLength(method) != 0;
}

bool AesCodeMatches(zip_t* archive, const zip_stat_t& entry, const char* password,
                    unsigned char* buffer, size_t size) {
    constexpr zip_uint64_t kNeeded =
        ZIP_STAT_INDEX | ZIP_STAT_COMP_SIZE | ZIP_STAT_ENCRYPTION_METHOD;
    if ((entry.valid & kNeeded) != kNeeded || password == nullptr || size == 0) return false;
    const size_t keyLength = KeyLength(entry.encryption_method);
    const size_t saltLength = keyLength / 2;
    const size_t passwordLength = strlen(password);
    if (keyLength == 0 || passwordLength > INT_MAX ||
        entry.comp_size < saltLength + kCheckLength + kCodeLength) {
        return false;
    }
    // The stored bytes as they are: neither decrypted nor decompressed.
    zip_file_t* raw = zip_fopen_index(archive, entry.index, ZIP_FL_ENCRYPTED);
    if (raw == nullptr) return false;

    unsigned char header[kMaxKeyLength / 2 + kCheckLength];
    unsigned char keys[2 * kMaxKeyLength + kCheckLength];
    unsigned char computed[kCodeLength];
    unsigned char stored[kCodeLength];
    const int keysLength = static_cast<int>(2 * keyLength + kCheckLength);
    const bool ok =
        ReadExactly(raw, header, saltLength + kCheckLength) &&
        PKCS5_PBKDF2_HMAC_SHA1(password, static_cast<int>(passwordLength), header,
                               static_cast<int>(saltLength), kRounds, keysLength, keys) == 1 &&
        CRYPTO_memcmp(keys + 2 * keyLength, header + saltLength, kCheckLength) == 0 &&
        CodeOfData(raw, entry.comp_size - saltLength - kCheckLength - kCodeLength,
                   keys + keyLength, keyLength, buffer, size, computed) &&
        ReadExactly(raw, stored, kCodeLength) && CRYPTO_memcmp(computed, stored, kCodeLength) == 0;
    OPENSSL_cleanse(keys, sizeof keys);
    zip_fclose(raw);
    return ok;
}
