#pragma once
// Expected wire texts and response builders shared by the SOAP tests.
#include <string>

namespace SoapTestTexts {

// The envelope start tag with the ten declarations of the default deployment.
std::string EnvelopeStart();
// Request envelope (after the XML declaration line) for a header digest and a body element.
std::string RequestEnvelope(const std::string& digest, const std::string& bodyElement);
// "<?xml ...?>\n" + envelope.
std::string RequestBody(const std::string& digest, const std::string& bodyElement);
// The header block (request line through the empty line) for one SOAPAction and Host value.
std::string RequestHeaders(const std::string& host, const std::string& action);
// A SOAP 1.1 response envelope around `body` (the contents of soap:Body).
std::string ResponseEnvelope(const std::string& body);
// A whole HTTP response with Content-Length.
std::string HttpResponse(int status, const std::string& body);
// Splits a request into its header block and its de-chunked body; false when the framing is wrong.
bool SplitChunked(const std::string& request, std::string* headers, std::string* body);

} // namespace SoapTestTexts
