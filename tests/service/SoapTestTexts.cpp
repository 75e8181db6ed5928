#include "SoapTestTexts.h"

#include <cstdlib>

namespace SoapTestTexts {

std::string EnvelopeStart() {
    return "<SOAP-ENV:Envelope"
           " xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""
           " xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\""
           " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
           " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
           " xmlns:ns3=\"http://file.cloffa.example/FileServiceSoap\""
           " xmlns:ns1=\"http://file.cloffa.example/\""
           " xmlns:ns4=\"http://file.cloffa.example/FileServiceSoap12\""
           " xmlns:ns5=\"http://memo.cloffa.example/MemoServiceSoap\""
           " xmlns:ns2=\"http://memo.cloffa.example/\""
           " xmlns:ns6=\"http://memo.cloffa.example/MemoServiceSoap12\">";
}

std::string RequestEnvelope(const std::string& digest, const std::string& bodyElement) {
    return EnvelopeStart() + "<SOAP-ENV:Header><ns1:UserCredentials SOAP-ENV:mustUnderstand=\"1\"><ns1:strAuth>" +
           digest + "</ns1:strAuth></ns1:UserCredentials></SOAP-ENV:Header><SOAP-ENV:Body>" + bodyElement +
           "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string RequestBody(const std::string& digest, const std::string& bodyElement) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + RequestEnvelope(digest, bodyElement);
}

std::string RequestHeaders(const std::string& host, const std::string& action) {
    return "POST /Cloffa/File/FileService.asmx HTTP/1.1\r\n"
           "Host: " +
           host +
           "\r\n"
           "User-Agent: gSOAP/2.7\r\n"
           "Content-Type: text/xml;charset=utf-8\r\n"
           "Transfer-Encoding: chunked\r\n"
           "Connection: keep-alive\r\n"
           "SOAPAction: \"" +
           action +
           "\"\r\n"
           "\r\n";
}

std::string ResponseEnvelope(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\""
           " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
           " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap:Body>" +
           body + "</soap:Body></soap:Envelope>";
}

std::string HttpResponse(int status, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) +
           " Status\r\nContent-Type: text/xml; charset=utf-8\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

bool SplitChunked(const std::string& request, std::string* headers, std::string* body) {
    const size_t end = request.find("\r\n\r\n");
    if (end == std::string::npos)
        return false;
    *headers = request.substr(0, end + 4);
    body->clear();
    size_t pos = end + 4;
    for (;;) {
        const size_t eol = request.find("\r\n", pos);
        if (eol == std::string::npos)
            return false;
        char* stop = nullptr;
        const std::string sizeText = request.substr(pos, eol - pos);
        const unsigned long n = std::strtoul(sizeText.c_str(), &stop, 16);
        if (sizeText.empty() || *stop)
            return false;
        pos = eol + 2;
        if (n == 0)
            return request.compare(pos, std::string::npos, "\r\n") == 0;
        if (pos + n + 2 > request.size() || request.compare(pos + n, 2, "\r\n") != 0)
            return false;
        body->append(request, pos, n);
        pos += n + 2;
    }
}

} // namespace SoapTestTexts
