#pragma once

// A small HTTP server on 127.0.0.1 for the tests of network clients: it answers one
// connection at a time, on a thread of its own, with what the test's handler returns, and
// records every request. No test reaches the internet.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace sorvik::testing {

class LocalHttpServer {
public:
    struct Request {
        std::string method;
        std::string target; // path and query, as sent
        std::map<std::string, std::string> headers; // names in lower case
        std::chrono::steady_clock::time_point received;
    };

    struct Response {
        int status = 200;
        std::string body;
        std::chrono::milliseconds delay { 0 };
    };

    using Handler = std::function<Response(const Request&)>;

    explicit LocalHttpServer(Handler handler)
        : m_handler(std::move(handler))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0
            || ::listen(m_listener, 16) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot start the local HTTP server");
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }

    ~LocalHttpServer()
    {
        m_stopping = true;
        m_thread.join();
        ::close(m_listener);
    }

    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(m_port); }

    std::vector<Request> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

private:
    bool wait(int descriptor) const
    {
        pollfd entry { descriptor, POLLIN, 0 };
        while (!m_stopping) {
            if (::poll(&entry, 1, 20) > 0)
                return true;
        }
        return false;
    }

    void serve()
    {
        while (wait(m_listener)) {
            int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            answer(connection);
            ::close(connection);
        }
    }

    void answer(int connection)
    {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos) {
            if (!wait(connection))
                return;
            ssize_t count = ::recv(connection, buffer, sizeof buffer, 0);
            if (count <= 0)
                return;
            head.append(buffer, static_cast<std::size_t>(count));
        }
        Request request;
        request.received = std::chrono::steady_clock::now();
        std::size_t lineEnd = head.find("\r\n");
        std::string line = head.substr(0, lineEnd);
        std::size_t firstSpace = line.find(' ');
        std::size_t secondSpace = line.find(' ', firstSpace + 1);
        request.method = line.substr(0, firstSpace);
        request.target = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
        std::size_t position = lineEnd + 2;
        while (true) {
            std::size_t end = head.find("\r\n", position);
            if (end == std::string::npos || end == position)
                break;
            std::string header = head.substr(position, end - position);
            std::size_t colon = header.find(':');
            if (colon != std::string::npos) {
                std::string name = header.substr(0, colon);
                for (char& character : name)
                    character
                        = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
                std::size_t valueStart = header.find_first_not_of(' ', colon + 1);
                request.headers[name]
                    = valueStart == std::string::npos ? std::string() : header.substr(valueStart);
            }
            position = end + 2;
        }
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
        }
        Response response = m_handler(request);
        auto until = std::chrono::steady_clock::now() + response.delay;
        while (!m_stopping && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::string reply = "HTTP/1.1 " + std::to_string(response.status)
            + " Answer\r\nContent-Type: application/json\r\nContent-Length: "
            + std::to_string(response.body.size()) + "\r\nConnection: close\r\n\r\n"
            + response.body;
        ::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
    }

    Handler m_handler;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping { false };
    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
    std::thread m_thread;
};

} // namespace sorvik::testing
