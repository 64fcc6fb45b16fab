// TEMPORARY: the HTTPS side of vorl_redfish on cpp-httplib, until the event-driven web layer
// (web/) is merged and takes its place; nothing else depends on cpp-httplib. It reads the web
// configuration's TLS settings, hands every request to RedfishService::handle on a fixed pool
// of threads, and caps the requests in flight per card so that a slow card holds few threads.
#include <httplib.h>
#include <openssl/err.h>
#include <yaml-cpp/yaml.h>

#include <map>
#include <mutex>
#include <thread>

#include "platform/sockets.h"
#include "redfish/http_glue.h"
#include "redfish/redfish_service.h"
#include "redfish/tls_certificate.h"

namespace vorl::redfish {
namespace {

// A client that sends or reads nothing (a stalled handshake, a half-sent request) holds its
// thread this long at most.
constexpr time_t kClientTimeoutSeconds = 5;
constexpr size_t kMaxBody = 1 << 20;

struct TlsFiles {
    std::string cert, key;
    bool tls13Only = false;
};

// "HOST:PORT", ":PORT" (every address) or "[V6]:PORT"; "localhost" means 127.0.0.1.
bool parseListenAddress(const std::string& text, std::string& host, int& port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 >= text.size() || text.size() - colon > 6)
        return false;
    port = 0;
    for (size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        port = port * 10 + (text[i] - '0');
    }
    if (port < 1 || port > 65535) return false;
    host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string::npos)
        return false;
    if (host.empty()) host = "0.0.0.0";
    if (host == "localhost") host = "127.0.0.1";
    return true;
}

std::string besideFile(const std::string& path, const std::string& name) {
    if (name.empty() || name[0] == '/') return name;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

// The web configuration's tls_server_config (cert_file, key_file, min_version). The service's
// logins are its configuration's accounts, so basic_auth_users has no place here.
bool readWebConfig(const std::string& path, TlsFiles& tls, std::string& error) {
    try {
        const YAML::Node root = YAML::LoadFile(path);
        if (!root.IsMap()) {
            error = path + ": the web configuration must be a mapping";
            return false;
        }
        for (const auto& entry : root) {
            const std::string key = entry.first.as<std::string>();
            const auto line = std::to_string(entry.first.Mark().line + 1);
            if (key != "tls_server_config") {
                error = path + ":" + line + ": '" + key +
                        "' is not supported here (tls_server_config; the service's accounts "
                        "are in its configuration file)";
                return false;
            }
            for (const auto& setting : entry.second) {
                const std::string name = setting.first.as<std::string>();
                const std::string value = setting.second.as<std::string>();
                if (name == "cert_file") {
                    tls.cert = besideFile(path, value);
                } else if (name == "key_file") {
                    tls.key = besideFile(path, value);
                } else if (name == "min_version" && (value == "TLS12" || value == "TLS13")) {
                    tls.tls13Only = value == "TLS13";
                } else {
                    error = path + ":" + std::to_string(setting.first.Mark().line + 1) +
                            ": tls_server_config: '" + name +
                            "' is not supported (cert_file, key_file, min_version TLS12|TLS13)";
                    return false;
                }
            }
        }
    } catch (const YAML::Exception& e) {
        error = path + ":" + std::to_string(e.mark.line + 1) + ": " + e.msg;
        return false;
    }
    if (tls.cert.empty() != tls.key.empty()) {
        error = path + ": tls_server_config needs both cert_file and key_file";
        return false;
    }
    return true;
}

std::string openSslReason() {
    char text[256] = "unknown reason";
    if (const unsigned long code = ERR_get_error(); code != 0)
        ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return text;
}

bool setUpTls(SSL_CTX& context, const TlsFiles& tls, std::string& error) {
    SSL_CTX_set_min_proto_version(&context, tls.tls13Only ? TLS1_3_VERSION : TLS1_2_VERSION);
    SSL_CTX_set_options(&context, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    if (SSL_CTX_use_certificate_chain_file(&context, tls.cert.c_str()) != 1) {
        error = "cannot use the certificate " + tls.cert + ": " + openSslReason();
        return false;
    }
    if (SSL_CTX_use_PrivateKey_file(&context, tls.key.c_str(), SSL_FILETYPE_PEM) != 1) {
        error = "cannot use the key " + tls.key + ": " + openSslReason();
        return false;
    }
    if (SSL_CTX_check_private_key(&context) != 1) {
        error = "the key " + tls.key + " does not belong to the certificate " + tls.cert;
        return false;
    }
    return true;
}

class HttplibServer : public HttpServer {
public:
    HttplibServer(RedfishService& service, const HttpOptions& options)
        : service_(service), options_(options) {}

    ~HttplibServer() override {
        if (server_) server_->stop();
        if (listener_.joinable()) listener_.join();
    }

    bool start(const TlsFiles& tls, std::string& error) {
        std::string host;
        int port = 0;
        if (!parseListenAddress(options_.listenAddress, host, port)) {
            error = "cannot listen on " + options_.listenAddress + ": not HOST:PORT";
            return false;
        }
        std::string tlsError;
        server_ = std::make_unique<httplib::SSLServer>(
            [&](SSL_CTX& context) { return setUpTls(context, tls, tlsError); });
        if (!server_->is_valid()) {
            error = tlsError.empty() ? "cannot start TLS" : tlsError;
            return false;
        }
        const size_t threads = options_.threads;
        server_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
        server_->set_socket_options([](socket_t socket) {
            platform::prepareListeningSocket(static_cast<intptr_t>(socket));
        });
        server_->set_tcp_nodelay(true);
        server_->set_read_timeout(kClientTimeoutSeconds);
        server_->set_write_timeout(kClientTimeoutSeconds);
        server_->set_keep_alive_max_count(1000);
        server_->set_keep_alive_timeout(kClientTimeoutSeconds);
        server_->set_payload_max_length(kMaxBody);
        const auto handler = [this](const httplib::Request& request, httplib::Response& response) {
            serve(request, response);
        };
        server_->Get(".*", handler);
        server_->Post(".*", handler);
        server_->Patch(".*", handler);
        server_->Put(".*", handler);
        server_->Delete(".*", handler);
        server_->Options(".*", handler);
        server_->set_exception_handler([](const httplib::Request&, httplib::Response& response,
                                          std::exception_ptr) { response.status = 500; });
        if (!server_->bind_to_port(host, port)) {
            error = "cannot listen on " + options_.listenAddress;
            return false;
        }
        description_ = "https on " + host + ":" + std::to_string(port);
        listener_ = std::thread([this] { server_->listen_after_bind(); });
        return true;
    }

    std::string describe() const override { return description_; }

private:
    void serve(const httplib::Request& in, httplib::Response& out) {
        web::Request request;
        request.method = in.method;
        request.target = in.target;
        const size_t question = in.target.find('?');
        request.path = in.target.substr(0, question);
        if (question != std::string::npos) request.query = in.target.substr(question + 1);
        for (const auto& [name, value] : in.headers) request.headers.add(name, value);
        request.body = in.body;
        request.peer = in.remote_addr + ":" + std::to_string(in.remote_port);
        request.tls = true;
        const std::string card = service_.cardOf(request);
        web::Response response;
        if (!card.empty() && !enter(card)) {
            response = service_.tooBusy(1);
        } else {
            response = service_.handle(request);
            if (!card.empty()) leave(card);
        }
        out.status = response.status;
        std::string contentType;
        for (const auto& [name, value] : response.headers.fields()) {
            if (web::Headers::sameName(name, "Content-Type"))
                contentType = value;
            else if (!web::Headers::sameName(name, "Content-Length"))
                out.set_header(name, value);
        }
        if (!response.body.empty() || !contentType.empty())
            out.set_content(response.body, contentType.empty() ? "text/plain" : contentType);
    }

    bool enter(const std::string& card) {
        std::lock_guard<std::mutex> guard(inFlightMutex_);
        size_t& count = inFlight_[card];
        if (count >= options_.perCardInFlight) return false;
        ++count;
        return true;
    }

    void leave(const std::string& card) {
        std::lock_guard<std::mutex> guard(inFlightMutex_);
        --inFlight_[card];
    }

    RedfishService& service_;
    HttpOptions options_;
    std::unique_ptr<httplib::SSLServer> server_;
    std::thread listener_;
    std::string description_;
    std::mutex inFlightMutex_;
    std::map<std::string, size_t> inFlight_;
};

}  // namespace

std::unique_ptr<HttpServer> startHttpServer(RedfishService& service, const HttpOptions& options,
                                            std::string& error) {
    TlsFiles tls;
    if (!options.webConfigFile.empty() && !readWebConfig(options.webConfigFile, tls, error))
        return nullptr;
    if (tls.cert.empty() &&
        !ensureSelfSignedCertificate(options.stateDir, tls.cert, tls.key, error))
        return nullptr;
    auto server = std::make_unique<HttplibServer>(service, options);
    if (!server->start(tls, error)) return nullptr;
    return server;
}

}  // namespace vorl::redfish
