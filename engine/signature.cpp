// Publisher signatures (placeholder until the library is linked).
#include "engine/signature.h"

bool ParseSignature(const uint8_t*, size_t, SignatureRecord*) { return false; }
std::vector<uint8_t> SerializeSignature(const SignatureRecord&) { return {}; }
bool SignBytes(const uint8_t*, const uint8_t*, size_t, const std::string&, uint64_t, std::vector<uint8_t>*) { return false; }
bool SignFile(const uint8_t*, const std::string&, const std::string&, uint64_t, std::vector<uint8_t>*) { return false; }
SignatureCheck VerifyBytes(const PublisherKey&, const uint8_t*, size_t, const uint8_t*, size_t, const std::string&, uint64_t*) { return SignatureCheck::kMissing; }
SignatureCheck VerifyFile(const PublisherKey&, const uint8_t*, size_t, const std::string&, const std::string&, uint64_t*) { return SignatureCheck::kMissing; }
const char* SignatureCheckText(SignatureCheck) { return ""; }
