// The editor's HTTP server (cpp-httplib) and the one thread that answers its requests.
#include "EditorServer.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace {

struct Job {
  DWEditorRequest request;
  DWEditorReply reply;
  bool done = false;
};

std::mutex jobsMutex;
std::condition_variable jobArrived, jobFinished;
std::deque<Job *> jobs;

std::mutex versionMutex;
std::condition_variable versionChanged;
std::atomic<unsigned long> version{1};

std::atomic<bool> stopping{false};
// How long a page's wait for a change is held open before it asks again.
constexpr auto kLongestWait = std::chrono::seconds(20);

extern "C" void OnStopSignal(int) { stopping.store(true); }

// The same time whatever the first difference: a guess at the token learns nothing from the answer's timing.
bool SameToken(const std::string &given, const std::string &token) {
  unsigned char difference = given.size() == token.size() ? 0 : 1;
  for (size_t i = 0; i < token.size(); ++i) difference |= (unsigned char)(token[i] ^ (i < given.size() ? given[i] : 0));
  return difference == 0;
}

// Why the request must be refused, or nullptr. A page of another site can make the browser send
// requests here, but not with our Origin, nor with the token it cannot know; a DNS name rebound to
// 127.0.0.1 still sends its own name as the Host.
const char *Refusal(const httplib::Request &request, const std::string &token, int port) {
  const std::string self = "127.0.0.1:" + std::to_string(port);
  if (request.get_header_value("Host") != self) return "the Host is not this server's loopback address and port";
  if (request.has_header("Origin") && request.get_header_value("Origin") != "http://" + self)
    return "the request comes from another site's page";
  const std::string site = request.get_header_value("Sec-Fetch-Site");
  if (site == "cross-site" || site == "same-site") return "the request comes from another site's page";
  if (!request.has_param("token") || !SameToken(request.get_param_value("token"), token))
    return "the request does not carry this run's token";
  return nullptr;
}

void SetCommonHeaders(httplib::Response &response) {
  response.set_header("Cache-Control", "no-store");
  response.set_header("X-Content-Type-Options", "nosniff");
  // The token is in the page's address: no other site may learn it from a link.
  response.set_header("Referrer-Policy", "no-referrer");
  response.set_header("Content-Security-Policy",
                      "default-src 'self'; img-src 'self' data: blob:; connect-src 'self'; frame-ancestors 'none'");
  response.set_header("X-Frame-Options", "DENY");
}

// Hands the request to the serving thread and waits for its reply.
void Answer(const httplib::Request &request, httplib::Response &response) {
  std::string query;
  for (const auto &param : request.params) {
    if (param.first == "token") continue;
    if (!query.empty()) query += '&';
    query += param.first + "=" + param.second;
  }
  Job job;
  job.request = {request.method.c_str(), request.path.c_str(), query.c_str(), request.body.data(), request.body.size()};
  job.reply = {500, "text/plain", nullptr, 0, nullptr};
  {
    std::unique_lock<std::mutex> lock(jobsMutex);
    jobs.push_back(&job);
    jobArrived.notify_one();
    jobFinished.wait(lock, [&] { return job.done || stopping.load(); });
    if (!job.done) {
      // The serving thread stops: take the job back if it never started.
      for (auto it = jobs.begin(); it != jobs.end(); ++it) {
        if (*it == &job) {
          jobs.erase(it);
          break;
        }
      }
      jobFinished.wait(lock, [&] { return job.done || std::find(jobs.begin(), jobs.end(), &job) == jobs.end(); });
    }
  }
  if (!job.done) {
    response.status = 503;
    response.set_content("the editor is stopping\n", "text/plain");
    return;
  }
  response.status = job.reply.status;
  response.set_content(std::string(static_cast<const char *>(job.reply.body), job.reply.bodyLength),
                       job.reply.contentType);
  if (job.reply.fileName != nullptr) {
    response.set_header("Content-Disposition", std::string("attachment; filename=\"") + job.reply.fileName + "\"");
  }
  free(job.reply.body);
}

// A page waits here for the next change, without holding the serving thread.
void WaitForChange(const httplib::Request &request, httplib::Response &response) {
  unsigned long after = std::strtoul(request.get_param_value("after").c_str(), nullptr, 10);
  std::unique_lock<std::mutex> lock(versionMutex);
  versionChanged.wait_for(lock, kLongestWait, [&] { return version.load() > after || stopping.load(); });
  response.set_content("{\"version\":" + std::to_string(version.load()) + "}", "application/json");
}

}  // namespace

extern "C" void DWEditorChanged(void) {
  std::lock_guard<std::mutex> lock(versionMutex);
  version.fetch_add(1);
  versionChanged.notify_all();
}

extern "C" unsigned long DWEditorVersion(void) { return version.load(); }

extern "C" int DWServeEditor(int port, const char *token, const DWEditorHandlers *handlers, const char **error) {
  httplib::Server server;
  const std::string secret = token;
  int boundPort = port == 0 ? server.bind_to_any_port("127.0.0.1") : (server.bind_to_port("127.0.0.1", port) ? port : -1);
  if (boundPort <= 0) {
    *error = "cannot listen on 127.0.0.1 at that port (in use, or not allowed)";
    return 1;
  }
  server.set_payload_max_length(handlers->maxBodyBytes);
  server.set_pre_routing_handler([&](const httplib::Request &request, httplib::Response &response) {
    SetCommonHeaders(response);
    if (const char *why = Refusal(request, secret, boundPort)) {
      response.status = 403;
      response.set_content(std::string("refused: ") + why + "\n", "text/plain");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.Get("/api/events", WaitForChange);
  server.Get(".*", Answer);
  server.Post(".*", Answer);
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = OnStopSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  handlers->ready(boundPort, handlers->context);
  std::thread listener([&] { server.listen_after_bind(); });
  const auto idleEvery = std::chrono::milliseconds(handlers->idleMilliseconds);
  while (!stopping.load()) {
    Job *job = nullptr;
    {
      std::unique_lock<std::mutex> lock(jobsMutex);
      jobArrived.wait_for(lock, idleEvery, [] { return !jobs.empty() || stopping.load(); });
      if (!jobs.empty()) {
        job = jobs.front();
        jobs.pop_front();
      }
    }
    if (job != nullptr) {
      handlers->handle(&job->request, &job->reply, handlers->context);
      std::lock_guard<std::mutex> lock(jobsMutex);
      job->done = true;
      jobFinished.notify_all();
    }
    bool waiting;
    {
      std::lock_guard<std::mutex> lock(jobsMutex);
      waiting = !jobs.empty();
    }
    if (!waiting) handlers->idle(handlers->context);
  }
  {
    std::lock_guard<std::mutex> lock(jobsMutex);
    jobFinished.notify_all();
  }
  {
    std::lock_guard<std::mutex> lock(versionMutex);
    versionChanged.notify_all();
  }
  server.stop();
  listener.join();
  return 0;
}
