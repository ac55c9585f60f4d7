// The "\Mail" folder of the data folder, for the clean-up at exit.
#pragma once

#include <string>
#include <vector>

#include "tidewell/engine/mail_cleanup.h"

namespace tidewell {

class Win32MailFolder : public MailFolder {
 public:
  explicit Win32MailFolder(const std::string& data_folder) : folder_(data_folder + "\\Mail\\") {}
  std::vector<std::string> Names() override;
  void Delete(const std::string& name) override;

 private:
  std::string folder_;
};

}  // namespace tidewell
