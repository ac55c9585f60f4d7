#include "common/check_errors.h"

#include <cstdio>

namespace tidewell {
namespace {

std::string Numbered(const char* message, int phase, int code) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "(%d,%d)", phase, code);
  return std::string(message) + numbers;
}

}  // namespace

const char* SignInErrorWords(int code) {
  switch (code) {
    case kSignInNeeded:
      return "OAuth 2.0のサインインが無効になっています。設定のアカウントで「サインイン」を押して、"
             "サインインし直してください。";
    case kSignInRefreshFailed:
      return "アクセストークンを取得できませんでした。ネットワークの接続を確かめて、"
             "しばらくしてからもう一度チェックしてください。";
    case kSignInTokenRefused:
      return "メールサーバーがアクセストークンを受け付けませんでした。ユーザーIDがサインインしたメールアドレスか、"
             "POP3が使える設定かを確かめて、設定のアカウントでサインインし直してください。";
    case kSignInNotSecured:
      return "暗号化されていない接続ではアクセストークンを送れないため、接続を中止しました。"
             "設定のアカウントで接続の保護を「SSL/TLS」か「STLS」にしてください。";
    case kSignInNoClientId:
      return "OAuth 2.0のクライアントIDが設定されていないため、サインインできません。"
             "Tidewell.ini の [OAuth.Microsoft]、[OAuth.Google] または [OAuth.Custom] に ClientId を設定してください。";
    default:
      return nullptr;
  }
}

std::string CheckErrorMessage(int phase, int code) {
  if (phase == kSignInErrorPhase) {
    const char* words = SignInErrorWords(code);
    return Numbered(words ? words : "サインインに失敗しました。", phase, code);
  }
  if (phase == 2 && code == kStlsRefusedCode)
    return Numbered("サーバーがSTLSに対応していないため、接続を中止しました。", phase, code);
  if (phase == kTlsErrorPhase) {
    switch (code) {
      case kTlsUntrusted:
        return Numbered("サーバー証明書が信頼できないため、接続を中止しました。", phase, code);
      case kTlsNameMismatch:
        return Numbered("サーバー証明書の名前がサーバー名と一致しないため、接続を中止しました。", phase, code);
      case kTlsExpired:
        return Numbered("サーバー証明書の有効期限が切れているため、接続を中止しました。", phase, code);
      case kTlsInjectedText:
        return Numbered("STLSの応答の後に不正なデータを受信したため、接続を中止しました。", phase, code);
      case kTlsChannelError:
        return Numbered("暗号化された通信でエラーが発生しました。", phase, code);
      default:
        return Numbered("SSL/TLSの接続に失敗しました。", phase, code);
    }
  }
  if (phase == kAccountErrorPhase && code == kPasswordUnreadableCode)
    return Numbered("パスワードを読み取れないため、接続を中止しました。設定のアカウントでパスワードを入力し直してください。",
                    phase, code);
  if (phase == 1 || (phase == 2 && code == 1)) return "接続に失敗しました。";
  if ((phase == 2 && (code == 2 || code == 3)) || (phase == 3 && code == 3)) return "認証に失敗しました。";
  if (phase == 3 && code == 5) return Numbered("サーバーより応答がないため、タイムアウトしました。", phase, code);
  if (phase == kReplyTooLargePhase && code == kReplyTooLargeCode)
    return Numbered("サーバーの応答が大きすぎるため、中断しました。", phase, code);
  return Numbered("接続中にエラーが発生しました。", phase, code);
}

}  // namespace tidewell
