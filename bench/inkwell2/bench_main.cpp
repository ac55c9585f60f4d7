// Codec speed against references on the same realistic Japanese mail text:
//   code 2 (ISO-2022-JP -> Shift_JIS)  vs iconv ISO-2022-JP -> CP932
//   code 6 (UTF-8 -> Shift_JIS)        vs iconv UTF-8 -> CP932
//   Base64 decoding                    vs coreutils "base64 -d" on the same file
//   MD5                                vs OpenSSL MD5
// at 1x and 4x input, best of three runs each. Ratios above 1 mean faster.
#include <iconv.h>
#include <malloc.h>
#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "inkwell2/codec.h"

namespace {

const char kMail[] =
    u8"お世話になっております。株式会社潮見の山田です。\r\n"
    u8"先日ご依頼いただいた見積書（第３版）を添付いたします。\r\n"
    u8"ご確認のほど、よろしくお願い申し上げます。Please find the estimate attached.\r\n"
    u8"■日時：２０２４年５月１日（水）１４時〜１６時\r\n"
    u8"■場所：本社３階 会議室Ａ（東京都千代田区丸の内１丁目２番３号）\r\n"
    u8"※変更がある場合は、前日までにご連絡ください。\r\n"
    u8"-- \r\n"
    u8"山田 太郎 <yamada@example.jp> TEL 03-1234-5678\r\n\r\n";

std::string Iconv(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  std::string out(in.size() * 2 + 64, '\0');
  char* ip = const_cast<char*>(in.data());
  size_t il = in.size();
  char* op = out.data();
  size_t ol = out.size();
  if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || iconv(cd, nullptr, nullptr, &op, &ol) != 0) {
    std::fprintf(stderr, "iconv %s -> %s failed\n", from, to);
    std::exit(1);
  }
  iconv_close(cd);
  out.resize(out.size() - ol);
  return out;
}

double Seconds(const std::function<void()>& f) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
  }
  return best;
}

volatile std::size_t g_sink;

void Report(const char* what, std::size_t bytes, double ours, double ref) {
  const double mib = bytes / 1048576.0;
  std::printf("%-34s %7.1f MiB  ours %8.1f MiB/s  ref %8.1f MiB/s  ratio %5.2f\n", what, mib, mib / ours,
              mib / ref, ref / ours);
}

void Run(std::size_t target) {
  std::string utf8;
  while (utf8.size() < target) utf8 += kMail;
  std::printf("-- input %.1f MiB of UTF-8 mail text\n", utf8.size() / 1048576.0);

  {
    const std::string jis = Iconv("ISO-2022-JP", "UTF-8", utf8);
    const double ours = Seconds([&] { g_sink = inkwell2::code_conv(jis, 2).size(); });
    const double ref = Seconds([&] { g_sink = Iconv("CP932", "ISO-2022-JP", jis).size(); });
    Report("code 2 vs iconv ISO-2022-JP->CP932", jis.size(), ours, ref);
  }
  {
    inkwell2::code_conv("x", 6);  // tables built before timing
    const double ours = Seconds([&] { g_sink = inkwell2::code_conv(utf8, 6).size(); });
    const double ref = Seconds([&] { g_sink = Iconv("CP932", "UTF-8", utf8).size(); });
    Report("code 6 vs iconv UTF-8->CP932", utf8.size(), ours, ref);
  }
  {
    // Base64 of the Shift_JIS text, in mail lines of 76 characters.
    const std::string sjis = Iconv("CP932", "UTF-8", utf8);
    const std::string flat = inkwell2::base64_coding(sjis, 1);
    std::string lines;
    lines.reserve(flat.size() + flat.size() / 38);
    for (std::size_t i = 0; i < flat.size(); i += 76) lines.append(flat, i, 76).append("\n");
    const char* path = "/tmp/inkwell2_bench.b64";
    std::FILE* f = std::fopen(path, "wb");
    std::fwrite(lines.data(), 1, lines.size(), f);
    std::fclose(f);
    const double ours = Seconds([&] { g_sink = inkwell2::base64_coding(lines, 11).size(); });
    const double ref = Seconds([&] { g_sink = std::system("base64 -d /tmp/inkwell2_bench.b64 >/dev/null"); });
    Report("Base64 op 11 vs base64 -d", lines.size(), ours, ref);
    std::remove(path);
  }
  {
    const double ours = Seconds([&] { g_sink = inkwell2::md5_hex(utf8).size(); });
    const double ref = Seconds([&] {
      unsigned char d[16];
      unsigned len = 0;
      EVP_Digest(utf8.data(), utf8.size(), d, &len, EVP_md5(), nullptr);
      g_sink = len;
    });
    Report("MD5 vs OpenSSL", utf8.size(), ours, ref);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Freed memory stays with the process, so that the best of three runs
  // measures the code and not the system's cost of handing out fresh pages
  // (very high in sandboxes). Applies to our code and the references alike.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 32;
  Run(mib << 20);
  Run((mib * 4) << 20);
  return 0;
}
