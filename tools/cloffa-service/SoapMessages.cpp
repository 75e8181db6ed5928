#include "tools/cloffa-service/SoapMessages.h"

#include <pugixml.hpp>

#include <cstring>

namespace cloffa {
namespace {

constexpr const char* kEnv11 = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr const char* kEnv12 = "http://www.w3.org/2003/05/soap-envelope";

std::string localName(const pugi::xml_node& n) {
    const char* name = n.name();
    const char* colon = std::strchr(name, ':');
    return colon ? colon + 1 : name;
}

std::string namespaceOf(const pugi::xml_node& n) {
    const std::string name = n.name();
    const size_t colon = name.find(':');
    const std::string attr = colon == std::string::npos ? std::string("xmlns") : "xmlns:" + name.substr(0, colon);
    for (pugi::xml_node p = n; p; p = p.parent())
        if (pugi::xml_attribute a = p.attribute(attr.c_str()))
            return a.value();
    return {};
}

pugi::xml_node child(const pugi::xml_node& parent, const char* local) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && localName(c) == local)
            return c;
    return {};
}

std::optional<std::string> childText(const pugi::xml_node& parent, const char* local) {
    pugi::xml_node c = child(parent, local);
    if (!c)
        return std::nullopt;
    return std::string(c.text().get());
}

std::string escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string envelope(const std::string& bodyContent) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
           "<soap:Body>" +
           bodyContent + "</soap:Body></soap:Envelope>";
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string finish(std::string xml, AnswerVariant variant) {
    switch (variant) {
    case AnswerVariant::Malformed:
        xml.resize(xml.size() * 2 / 3); // cut mid-document: not well formed
        break;
    case AnswerVariant::EnvelopeNoNamespace:
        xml = replaceAll(xml, " xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"", "");
        xml = replaceAll(xml, "soap:", "");
        break;
    case AnswerVariant::EnvelopeUnknownNamespace:
        xml = replaceAll(xml, "http://schemas.xmlsoap.org/soap/envelope/", "http://envelope.example/soap-2.0");
        break;
    default:
        break;
    }
    return xml;
}

} // namespace

bool ParseSoapRequest(const std::string& body, SoapRequest& out, std::string* error) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_buffer(body.data(), body.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) {
        *error = std::string("XML not well formed: ") + parsed.description();
        return false;
    }
    pugi::xml_node env = doc.document_element();
    const std::string envNs = namespaceOf(env);
    if (localName(env) != "Envelope" || (envNs != kEnv11 && envNs != kEnv12)) {
        *error = "not a SOAP envelope";
        return false;
    }
    if (pugi::xml_node header = child(env, "Header")) {
        for (pugi::xml_node e = header.first_child(); e; e = e.next_sibling()) {
            if (e.type() != pugi::node_element)
                continue;
            if (localName(e) == "UserCredentials") {
                out.auth = childText(e, "strAuth");
                continue;
            }
            for (pugi::xml_attribute a = e.first_attribute(); a; a = a.next_attribute()) {
                const std::string an = a.name();
                if ((an == "mustUnderstand" || an.ends_with(":mustUnderstand")) &&
                    (std::strcmp(a.value(), "1") == 0 || std::strcmp(a.value(), "true") == 0))
                    out.unknownMustUnderstand = true;
            }
        }
    }
    pugi::xml_node body_ = child(env, "Body");
    pugi::xml_node op;
    for (pugi::xml_node c = body_.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element) {
            op = c;
            break;
        }
    if (!op) {
        *error = "no element in the SOAP body";
        return false;
    }
    out.operation = localName(op);
    out.operationNs = namespaceOf(op);
    out.session = childText(op, "strSession");
    out.idx = childText(op, "Idx");
    out.version = childText(op, "strNowVersion");
    return true;
}

std::string SoapFault(const std::string& code, const std::string& text) {
    return envelope("<soap:Fault><faultcode>soap:" + code + "</faultcode><faultstring>" + escape(text) +
                    "</faultstring><detail /></soap:Fault>");
}

std::string GetUserFilesAnswer(const std::string& ns, const std::vector<StoredFile>& files, int32_t total,
                               int32_t free, AnswerVariant variant) {
    const std::string element =
        variant == AnswerVariant::WrongElement ? "GetUserFilesResult" : "GetUserFilesResponse";
    std::string x = "<" + element + " xmlns=\"" + escape(ns) + "\">";
    x += variant == AnswerVariant::WrongXsiType
             ? "<GetUserFilesResult xsi:type=\"xsd:string\">1</GetUserFilesResult>"
             : "<GetUserFilesResult>1</GetUserFilesResult>";
    if (variant != AnswerVariant::MissingFileArray) {
        x += "<fileinfoes>";
        for (const StoredFile& f : files)
            x += "<FileInfoes><Idx>" + std::to_string(f.idx) + "</Idx><FileName>" + escape(f.name) +
                 "</FileName><FileSize>" + std::to_string(f.listedSize) + "</FileSize><RegDate>" +
                 escape(f.regDate) + "</RegDate><Sidx>" + std::to_string(f.sidx) + "</Sidx></FileInfoes>";
        x += "</fileinfoes>";
    }
    if (variant != AnswerVariant::MissingUserInfo)
        x += "<userInfo><UserNo>1</UserNo><UserSize>" + std::to_string(total) + "</UserSize><UserFree>" +
             std::to_string(free) + "</UserFree></userInfo>";
    x += "</" + std::string(variant == AnswerVariant::MismatchedEndTag ? "GetUserFilesAnswer" : element) + ">";
    return finish(envelope(x), variant);
}

std::string BoolAnswer(const std::string& ns, const std::string& operation, bool value, AnswerVariant variant) {
    const std::string element = operation + (variant == AnswerVariant::WrongElement ? "Reply" : "Response");
    const std::string result = operation + "Result";
    const std::string typeAttr = variant == AnswerVariant::WrongXsiType ? " xsi:type=\"xsd:int\"" : "";
    const std::string endResult = variant == AnswerVariant::MismatchedEndTag ? operation + "Answer" : result;
    return finish(envelope("<" + element + " xmlns=\"" + escape(ns) + "\"><" + result + typeAttr + ">" +
                           (value ? "true" : "false") + "</" + endResult + "></" + element + ">"),
                  variant);
}

} // namespace cloffa
