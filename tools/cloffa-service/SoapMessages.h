#pragma once
// Reading the file service's requests and writing its answers (SOAP 1.1, document/literal).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/cloffa-service/LocalService.h"

namespace cloffa {

struct SoapRequest {
    std::string operation;              // local name of the body's first element
    std::string operationNs;            // its namespace URI
    std::optional<std::string> auth;    // UserCredentials/strAuth
    std::optional<std::string> session; // strSession
    std::optional<std::string> idx;     // DelFile's Idx text
    std::optional<std::string> version; // strNowVersion
    bool unknownMustUnderstand = false;
};

// False (with the reason) for a body that is not a SOAP envelope with a body element.
bool ParseSoapRequest(const std::string& body, SoapRequest& out, std::string* error);

enum class AnswerVariant {
    Normal,
    WrongElement,
    WrongXsiType,
    MissingFileArray,
    Malformed,
    EnvelopeNoNamespace,
    EnvelopeUnknownNamespace,
    MismatchedEndTag,
    MissingUserInfo,
};

std::string SoapFault(const std::string& code, const std::string& text);
std::string GetUserFilesAnswer(const std::string& ns, const std::vector<StoredFile>& files, int32_t total,
                               int32_t free, AnswerVariant variant);
std::string BoolAnswer(const std::string& ns, const std::string& operation, bool value, AnswerVariant variant);

} // namespace cloffa
