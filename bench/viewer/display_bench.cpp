// The message display's reader at the sizes mail has today, with the codec
// library's core behind the codec calls (as the native tests have it):
//   a 5 MiB message: multipart/mixed, UTF-8 text in Base64 (1 MiB encoded)
//   and an attachment of 4 MiB as it stands in the file (Base64), from file
//   bytes to the window's fields;
//   a Subject of 50,000 encoded words through DecodeEncodedWords.
// Each is run several times; the best and the median are printed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/viewer/core_text_codec.h"
#include "viewer/display_pipeline.h"
#include "viewer/header_text.h"

namespace {

std::string Base64Lines(const std::string& bytes) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t column = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const unsigned a = static_cast<unsigned char>(bytes[i]);
    const unsigned b = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    const unsigned c = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
    const unsigned v = a << 16 | b << 8 | c;
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += i + 1 < bytes.size() ? kAlphabet[v >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
    if ((column += 4) == 76) {
      out += "\r\n";
      column = 0;
    }
  }
  return out + "\r\n";
}

template <typename F>
void Time(const char* name, int runs, F f) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%-44s best %8.2f ms   median %8.2f ms\n", name, ms.front(), ms[ms.size() / 2]);
}

}  // namespace

int main() {
  using namespace tidewell;
  testing::CoreTextCodec codec;

  // "日本語の本文です。" in UTF-8 is 27 bytes; about 768 KiB of text.
  std::string text;
  while (text.size() < 768 * 1024) text += "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe6\x9c\xac\xe6\x96\x87"
                                          "\xe3\x81\xa7\xe3\x81\x99\xe3\x80\x82 line of text\r\n";
  std::string attachment(3 << 20, '\0');
  for (std::size_t i = 0; i < attachment.size(); ++i) attachment[i] = static_cast<char>(i * 2654435761u >> 13);
  std::string message = "+OK message follows\r\nFrom: =?utf-8?B?5bGx55Sw?= <taro@example.jp>\r\n"
                        "Subject: =?utf-8?B?6LOH5paZ?=\r\nDate: Mon, 8 Jan 2024 10:00:00 +0900\r\n"
                        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"==_b_==\"\r\n\r\n"
                        "--==_b_==\r\nContent-Type: text/plain; charset=utf-8\r\n"
                        "Content-Transfer-Encoding: base64\r\n\r\n" +
                        Base64Lines(text) +
                        "--==_b_==\r\nContent-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n"
                        "Content-Disposition: attachment; filename*=utf-8''%E8%B3%87%E6%96%99.pdf\r\n\r\n" +
                        Base64Lines(attachment) + "--==_b_==--\r\n.\r\n";
  std::printf("message: %.2f MiB\n", message.size() / 1048576.0);
  std::size_t shown = 0;
  Time("5 MiB message read for the window", 9, [&] {
    DisplayFields fields;
    BuildDisplay(codec, message, PipelineOptions::List(), fields);
    shown = fields.body.size();
  });
  std::printf("shown text: %zu bytes\n", shown);

  std::string subject;
  for (int i = 0; i < 50000; ++i) subject += i % 2 ? "=?utf-8?B?44OG44K544OI?=" : "=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=";
  std::printf("subject: %zu bytes\n", subject.size());
  std::size_t decoded = 0;
  Time("50,000 encoded words decoded", 9, [&] { decoded = DecodeEncodedWords(codec, subject, subject.size(), false).size(); });
  std::printf("decoded: %zu bytes\n", decoded);
  return 0;
}
