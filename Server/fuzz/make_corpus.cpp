// fuzz_corpus_server FOLDER: writes the seeds of fuzz_server_requests into
// FOLDER/fuzz_server_requests/. The committed corpus is this program's output
// (a test compares them). Operations are named, or picked by their place in
// the description ("#k"), so the seeds do not follow the catalog's changes.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

namespace {

std::filesystem::path folder;

void Seed(const std::string& name, std::string_view bytes)
{
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << bytes;
}

// A SOAP 1.1 request as the tools send it, for the raw seeds.
std::string Envelope(const std::string& operation, const std::string& parameters)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><SOAP-ENV:Body><m:" +
           operation + " xmlns:m=\"urn:TesselService\">" + parameters + "</m:" + operation +
           "></SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

// Records of a token's data items: the operation's, then one per parameter.
std::string Records(std::initializer_list<const char*> items)
{
    std::string out = "0000000000000000";
    for (const char* item : items)
        out += item;
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: fuzz_corpus_server FOLDER\n";
        return 2;
    }
    folder = std::filesystem::path(argv[1]) / "fuzz_server_requests";

    // Every operation of each description, with its parameters named after themselves.
    for (int k = 0; k < 100; ++k)
        Seed("main-op-" + std::to_string(k), "call main\n#" + std::to_string(k) + "\n");
    for (int k = 0; k < 10; ++k) {
        Seed("admin-op-" + std::to_string(k), "call admin\n#" + std::to_string(k) + "\n");
        Seed("soap2-op-" + std::to_string(k), "call soap2\n#" + std::to_string(k) + "\n");
    }

    // Calls with chosen values and slot kinds.
    Seed("get-vo-content", "call main\nGetVOContent\n\nname=Name1");
    Seed("put-vo-content-compressed", "call main\nPutVOContent\n\nname=Fresh\ncontent=z:compressed content");
    Seed("put-vo-content-encrypted", "call main\nPutVOContent\n\nname=Fresh\ncontent=e:encrypted content");
    Seed("put-vo-content-both", "call main\nPutVOContent\n\nname=Fresh\ncontent=y:compressed and encrypted");
    Seed("put-resource-acl",
         "call main\nPutResourceACL\n\nname=name\n"
         "acl=<VOACL><control><user>tester</user><access>rw</access></control></VOACL>");
    Seed("put-share-field", "call main\nPutShareField\n\nauthor=tester\nname=field\nfield=<x a=\"1\"/>");
    Seed("query", "call main\nQuery\n\nsqlstmt=select * from customers");
    Seed("soap2-get-vo-content", "call soap2\nGetVOContent\n\nname=Name2");
    Seed("unknown-operation", "call main\nNoSuchOperation\n\nx=1");
    Seed("extra-parameter", "call main\nGetLogCount\n\nunexpected=value");

    // Tokens altered after the client engine made them.
    Seed("huge-claim-ffffffff",
         "call main\nPutVOContent\n*:*:*:" + Records({"0000000000000000", "01000000FFFFFFFF"}) +
             "\nname=Big\ncontent=#4300000");
    Seed("huge-claim-fffffffe",
         "call main\nPutVOContent\n*:*:*:" + Records({"0000000000000000", "01000000FEFFFFFF"}) +
             "\nname=Big\ncontent=#4300000");
    Seed("claim-over-ceiling",
         "call main\nPutVOContent\n*:*:*:" + Records({"0000000000000000", "0100000001000010"}) +
             "\nname=Big\ncontent=#300000");
    Seed("claim-kind-3", "call main\nPutVOContent\n*:*:*:" + Records({"0000000000000000", "03000000FFFFFFFF"}) +
                             "\nname=Big\ncontent=#100");
    Seed("claim-too-short", "call main\nPutVOContent\n*:*:*:" + Records({"0000000000000000", "0100000004000000"}) +
                                "\nname=Short\ncontent=z:longer than four bytes");
    Seed("nonce-not-hex", "call main\nGetLogCount\nnot hex at all:*:*:*\n");
    Seed("stamp-too-old", "call main\nGetLogCount\n*:20010628084151007:*:*\n");
    Seed("stamp-malformed", "call main\nGetLogCount\n*:2001:*:*\n");
    Seed("hash-wrong", "call main\nGetLogCount\n*:*:0123456789ABCDEF0123456789ABCDEF01234567:*\n");
    Seed("records-too-few", "call main\nGetLog\n*:*:*:0000000000000000\nlogID=1");
    Seed("fields-missing", "call main\nGetLogCount\n*::*\n");
    Seed("records-and-more", "call main\nGetLog\n*:*:*:" + Records({"0000000000000000"}) + "0:more\nlogID=1");

    // Logins with seeds and schemes of the input's.
    Seed("open-fresh-seed", "open main\n*\n*");
    Seed("open-soap2", "open soap2\n*\n*");
    Seed("open-admin", "open admin\n*\n*");
    Seed("open-enhanced-3des",
         "open main\nMicrosoft Enhanced Cryptographic Provider v1.0,PROV_RSA_FULL,CALG_3DES,CALG_MD5\n*");
    Seed("open-unknown-provider", "open main\nNo Such Provider\n*");
    Seed("open-other-random", "open main\n*\nMDEyMzQ1Njc4OWFiY2RlZjAxMjM0NTY3ODlhYmNkZWY=:*;*");
    Seed("open-bad-stamp", "open main\n*\n*:AAAAAAAAAAA=;*");
    Seed("open-bad-key", "open main\n*\n*:*;BgIAAACkAABSU0ExAAIAAAEAAQA=");
    Seed("open-no-parts", "open main\n*\nabc");

    // Bodies as they come.
    Seed("raw-create-ticket",
         "raw main\n" + Envelope("CreateTicket", "<authority>LDAP://ldap.example.test</authority><realm>example.test"
                                                 "</realm><principal>tester</principal><credential>tester</credential>"
                                                 "<fullPrincipal></fullPrincipal>"));
    Seed("raw-open-session-bad-seed",
         "raw main\n" + Envelope("OpenSession", "<service>tsc</service><ticket>TKT-0</ticket>"
                                                "<tokenScheme></tokenScheme><tokenSeed>abc</tokenSeed>"
                                                "<sessionKey></sessionKey><verifier></verifier>"));
    Seed("raw-close-session",
         "raw main\n" + Envelope("CloseSession", "<sessionKey>AAAA</sessionKey><verifier>V0</verifier>"));
    Seed("raw-no-token", "raw main\n" + Envelope("GetLogCount", "<user></user><reskey></reskey>"));
    Seed("raw-unknown-session", "raw admin\n" + Envelope("GetLogCount", "<user>AAAA:V0</user><reskey></reskey>"));
    Seed("raw-missing-parameter", "raw main\n" + Envelope("GetLog", "<user>AAAA:V0</user><reskey></reskey>"));
    std::string byReference = Envelope("CreateTicket", "<authority href=\"#a\"/><realm href=\"#a\"/>"
                                                       "<principal href=\"#u\"/><credential href=\"#u\"/><fullPrincipal/>");
    byReference.insert(byReference.rfind("</SOAP-ENV:Body>"),
                       "<v id=\"a\">example.test</v><v id=\"u\" href=\"#t\"/><v id=\"t\">tester</v>");
    Seed("raw-create-ticket-by-reference", "raw main\n" + byReference);
    Seed("raw-must-understand",
         "raw main\n<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Header>"
         "<h:Trace xmlns:h=\"urn:h\" SOAP-ENV:mustUnderstand=\"1\"/></SOAP-ENV:Header><SOAP-ENV:Body>"
         "<m:GetLogCount xmlns:m=\"urn:TesselService\"/></SOAP-ENV:Body></SOAP-ENV:Envelope>");
    Seed("raw-not-xml", "raw main\nthis is not <xml");
    Seed("raw-html", "raw soap2\n<html><body><h1>500</h1></body></html>");
    Seed("raw-nowhere", "raw nowhere\n" + Envelope("GetLogCount", ""));
    Seed("get-description", "get\n/TesselService/TesselServiceCore.xml");
    Seed("get-soap2-description", "get\n/TesselService2/TesselServiceCore.wsdl");
    Seed("get-nothing", "get\n/no/such/path");
    return 0;
}
