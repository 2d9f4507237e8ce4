// The theme editor's latency on this machine: from a change posted the way the page posts it to
// every screen picture that changed fetched anew, through duskwell-sim serve on a device root of the
// example theme. Each repetition is one change (the background colour, alternating, so that every
// change redraws), a third of a second after the one before, as a person makes them; the median and
// the worst of 50 are what the README reports. BackToBack makes them with no pause at all.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <signal.h>
#include <string>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Server {
  pid_t pid = -1;
  int port = 0;
  std::string token;
  std::string directory;
};

Server server;

// `duskwell-sim theme init` into a fresh directory, then `serve` on it; its one line of output is the URL.
bool Start() {
  char pattern[] = "/tmp/duskwell-editor-bench.XXXXXX";
  if (mkdtemp(pattern) == nullptr) return false;
  server.directory = pattern;
  std::string root = server.directory + "/root";
  std::string init = std::string(DUSKWELL_SIM) + " theme init " + root + " > /dev/null";
  if (std::system(init.c_str()) != 0) return false;
  int ends[2];
  if (pipe(ends) != 0) return false;
  server.pid = fork();
  if (server.pid == 0) {
    dup2(ends[1], STDOUT_FILENO);
    close(ends[0]);
    execl(DUSKWELL_SIM, DUSKWELL_SIM, "serve", "--device-root", root.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  close(ends[1]);
  std::string line;
  char c;
  while (read(ends[0], &c, 1) == 1 && c != '\n') line += c;
  close(ends[0]);
  size_t colon = line.rfind(':'), token = line.find("token=");
  if (colon == std::string::npos || token == std::string::npos) return false;
  server.port = std::atoi(line.c_str() + colon + 1);
  server.token = line.substr(token + 6);
  return server.port > 0;
}

void Stop() {
  if (server.pid > 0) {
    kill(server.pid, SIGTERM);
    waitpid(server.pid, nullptr, 0);
  }
  if (!server.directory.empty()) std::system(("rm -rf " + server.directory).c_str());
}

// The "with" version of each screen in a state document, in order.
std::vector<std::string> Versions(const std::string &state) {
  std::vector<std::string> versions;
  for (size_t at = state.find("\"with\":"); at != std::string::npos; at = state.find("\"with\":", at + 1)) {
    size_t open = state.find('"', at + 7), close = state.find('"', open + 1);
    versions.push_back(state.substr(open + 1, close - open - 1));
  }
  return versions;
}

void Changes(benchmark::State &state, std::chrono::milliseconds pause) {
  httplib::Client client("127.0.0.1", server.port);
  client.set_default_headers({{"Host", "127.0.0.1:" + std::to_string(server.port)}});
  const std::string query = "?token=" + server.token;
  auto first = client.Get(("/api/state" + query).c_str());
  if (!first || first->status != 200) {
    state.SkipWithError("the editor does not answer");
    return;
  }
  std::vector<std::string> shown = Versions(first->body);
  static int change = 0;
  for (auto _ : state) {
    std::this_thread::sleep_for(pause);
    const char *colour = ++change % 2 ? "#1C1C24" : "#24201C";
    std::string body = std::string("{\"id\":\"com.tervan.duskwell/background\",\"value\":{\"hex\":\"") + colour + "\"}}";
    auto start = std::chrono::steady_clock::now();
    auto reply = client.Post(("/api/set" + query).c_str(), body, "application/json");
    if (!reply || reply->status != 200) {
      state.SkipWithError("a change was refused");
      return;
    }
    std::vector<std::string> now = Versions(reply->body);
    for (size_t i = 0; i < now.size(); ++i) {
      if (i < shown.size() && now[i] == shown[i]) continue;
      auto picture = client.Get(("/screens/with/" + std::to_string(i) + ".png" + query + "&v=" + now[i]).c_str());
      if (!picture || picture->status != 200) {
        state.SkipWithError("a new screen could not be fetched");
        return;
      }
    }
    shown = now;
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}

double Worst(const std::vector<double> &times) {
  double worst = 0;
  for (double t : times) worst = t > worst ? t : worst;
  return worst;
}

void ChangeToNewScreens(benchmark::State &state) { Changes(state, std::chrono::milliseconds(330)); }
void BackToBack(benchmark::State &state) { Changes(state, std::chrono::milliseconds(0)); }

BENCHMARK(ChangeToNewScreens)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(50)
    ->ComputeStatistics("worst", Worst)
    ->ReportAggregatesOnly(true);
BENCHMARK(BackToBack)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(50)
    ->ComputeStatistics("worst", Worst)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (!Start()) {
    std::fprintf(stderr, "editor_bench: cannot start %s serve\n", DUSKWELL_SIM);
    Stop();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Stop();
  return 0;
}
