#include "service/ErrorNumbers.h"

#include <stdsoap2.h>

#include <array>
#include <utility>

namespace ErrorNumbers {

int FromRuntime(int code) {
    // Runtime code -> shown number; codes below 16 and HTTP statuses keep their value.
    static constexpr std::array<std::pair<int, int>, 41> table{{
        {SOAP_EOF, -1},          {SOAP_OK, 0},
        {SOAP_CLI_FAULT, 1},     {SOAP_SVR_FAULT, 2},
        {SOAP_TAG_MISMATCH, 3},  {SOAP_TYPE, 4},
        {SOAP_SYNTAX_ERROR, 5},  {SOAP_NO_TAG, 6},
        {SOAP_IOB, 7},           {SOAP_MUSTUNDERSTAND, 8},
        {SOAP_NAMESPACE, 9},     {SOAP_USER_ERROR, 10},
        {SOAP_FATAL_ERROR, 11},  {SOAP_FAULT, 12},
        {SOAP_NO_METHOD, 13},    {SOAP_NO_DATA, 14},
        {SOAP_GET_METHOD, 15},   {SOAP_PUT_METHOD, 15},
        {SOAP_PATCH_METHOD, 15}, {SOAP_DEL_METHOD, 15},
        {SOAP_HTTP_METHOD, 15},  {SOAP_EOM, 16},
        {SOAP_MOE, 17},          {SOAP_HDR, 18},
        {SOAP_NULL, 19},         {SOAP_DUPLICATE_ID, 20},
        {SOAP_MISSING_ID, 21},   {SOAP_HREF, 22},
        {SOAP_UDP_ERROR, 23},    {SOAP_TCP_ERROR, 23},
        {SOAP_HTTP_ERROR, 24},   {SOAP_SSL_ERROR, 25},
        {SOAP_ZLIB_ERROR, 26},   {SOAP_VERSIONMISMATCH, 34},
        {SOAP_PLUGIN_ERROR, 35}, {SOAP_REQUIRED, 37},
        {SOAP_PROHIBITED, 38},   {SOAP_OCCURS, 39},
        {SOAP_LENGTH, 40},       {SOAP_PATTERN, 40},
        {SOAP_FD_EXCEEDED, 41},
    }};
    for (const auto& [runtime, shown] : table) {
        if (runtime == code)
            return shown;
    }
    switch (code) {
    case SOAP_DIME_ERROR:
    case SOAP_DIME_HREF:
    case SOAP_DIME_MISMATCH:
    case SOAP_DIME_END:
        return 27 + (code - SOAP_DIME_ERROR);
    case SOAP_MIME_ERROR:
    case SOAP_MIME_HREF:
    case SOAP_MIME_END:
        return 31 + (code == SOAP_MIME_ERROR ? 0 : 1);
    case SOAP_UTF_ERROR:
    case SOAP_LEVEL:
        return 5; // malformed or too deeply nested input
    case SOAP_DATAENCODINGUNKNOWN:
        return 36;
    case SOAP_FIXED:
        return 4;
    case SOAP_EMPTY:
        return 6;
    case SOAP_END_TAG:
        return 3;
    case SOAP_NTLM_ERROR:
    case SOAP_ERR:
        return 24;
    default:
        break;
    }
    if (code >= 100 && code <= 599)
        return code;
    return 24; // anything else the transport reports is an HTTP processing failure
}

} // namespace ErrorNumbers
