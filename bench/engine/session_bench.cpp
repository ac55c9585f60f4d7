// One check session over N mails of about 1 KB of header each, in NewMessage
// mode with every mail already in the previous account mail file. The time
// per mail must stay flat as N grows (the file is indexed once).
#include <map>
#include <string>

#include <benchmark/benchmark.h>

#include "inkwell2/codec.h"
#include "tidewell/engine/pop3_session.h"

namespace {

class Store : public tidewell::SessionStore {
 public:
  bool Read(const std::string& path, std::string& out) override {
    auto it = files.find(path);
    if (it == files.end()) return false;
    out = it->second;
    return true;
  }
  bool Write(const std::string& path, std::string_view bytes) override {
    files[path] = std::string(bytes);
    return true;
  }
  std::map<std::string, std::string> files;
};

std::string TopReply(int i) {
  std::string h = "+OK\r\nFrom: sender" + std::to_string(i) + "@example.com\r\n";
  for (int k = 0; k < 12; ++k) h += "Received: from relay" + std::to_string(k) + " by mx" + std::string(50, 'r') + "\r\n";
  return h + "Subject: mail " + std::to_string(i) + "\r\n\r\n.\r\n";
}

void BM_NewMessageSession(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<std::string> tops;
  std::string previous;
  for (int i = 1; i <= n; ++i) {
    tops.push_back(TopReply(i));
    previous += "+OK " + std::to_string(i) + " 2000\r\n" + tops.back();
  }
  auto md5 = [](std::string_view s) { return inkwell2::md5_hex(s); };
  for (auto _ : state) {
    Store store;
    tidewell::EngineData data;
    data.data_folder = "C:\\tw";
    data.flags = tidewell::kNewMessage;
    data.ResetAccounts(1);
    store.files["C:\\tw\\Mail\\" + md5("bench")] = previous;
    tidewell::Pop3Session s(md5, store);
    s.Start({"u", "p", "bench", "h", 110, false}, data, 0);
    for (const char* r : {"+OK\r\n", "+OK\r\n", "+OK\r\n"}) s.OnReceive(r);
    s.OnReceive("+OK " + std::to_string(n) + " 1\r\n");
    for (int i = 0; i < n; ++i) {
      s.OnReceive("+OK " + std::to_string(i + 1) + " 2000\r\n");
      tidewell::SessionActions a = s.OnReceive(tops[i]);
      // Deliver the posted continues as the message loop would.
      while (!a.empty() && a.back().kind == tidewell::SessionAction::Kind::kPostContinue)
        a = s.OnContinue();
    }
    s.OnReceive("+OK\r\n");
    if (data.seen_count != n) state.SkipWithError("mails not recognised as seen");
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_NewMessageSession)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
