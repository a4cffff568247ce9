#include "platform/audio_backend_setting.h"

#include <cstdlib>
#include <string_view>

namespace pocketmidi {
namespace {

// Decimal or 0x-hexadecimal, no sign, no blanks, at most 32 bits.
bool ParseNumber(std::string_view text, uint32_t* value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 10) return false;
  uint64_t result = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    if (digit >= base) return false;
    result = result * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  if (result > 0xFFFFFFFFu) return false;
  *value = static_cast<uint32_t>(result);
  return true;
}

enum class OptionResult { kApplied, kNotAnOption, kBad };

OptionResult ApplyOption(std::string_view item, AudioBackendSetting* setting) {
  size_t equals = item.find('=');
  if (equals == std::string_view::npos) return OptionResult::kNotAnOption;
  std::string_view name = item.substr(0, equals);
  std::string_view value = item.substr(equals + 1);

  struct CodeOption {
    const char* name;
    MMRESULT AudioBackendSetting::*field;
  };
  static constexpr CodeOption kCodeOptions[] = {
      {"prepare", &AudioBackendSetting::prepareResult}, {"write", &AudioBackendSetting::writeResult},
      {"pause", &AudioBackendSetting::pauseResult},     {"restart", &AudioBackendSetting::restartResult},
      {"reset", &AudioBackendSetting::resetResult},     {"volume", &AudioBackendSetting::volumeResult},
  };
  for (const CodeOption& option : kCodeOptions) {
    if (name == option.name) {
      return ParseNumber(value, &(setting->*option.field)) ? OptionResult::kApplied
                                                        : OptionResult::kBad;
    }
  }

  struct FlagOption {
    const char* name;
    const char* value;
    bool AudioBackendSetting::*field;
  };
  static constexpr FlagOption kFlagOptions[] = {
      {"caps", "fail", &AudioBackendSetting::capsFail},
      {"open", "nohandle", &AudioBackendSetting::openNoHandle},
      {"close", "stillplaying", &AudioBackendSetting::closeStillPlaying},
      {"position", "bytes", &AudioBackendSetting::positionInBytes},
  };
  for (const FlagOption& option : kFlagOptions) {
    if (name == option.name) {
      if (value != option.value) return OptionResult::kBad;
      setting->*option.field = true;
      return OptionResult::kApplied;
    }
  }

  uint32_t number = 0;
  if (name == "devices") {
    if (!ParseNumber(value, &number)) return OptionResult::kBad;
    setting->deviceCount = number;
    return OptionResult::kApplied;
  }
  if (name == "formats") {
    if (!ParseNumber(value, &number)) return OptionResult::kBad;
    setting->capsFormats = number;
    return OptionResult::kApplied;
  }
  if (name == "channels") {
    if (!ParseNumber(value, &number) || number > 0xFFFF) return OptionResult::kBad;
    setting->capsChannels = static_cast<uint16_t>(number);
    return OptionResult::kApplied;
  }
  return OptionResult::kNotAnOption;
}

}  // namespace

bool ParseAudioBackendSetting(const char* text, AudioBackendSetting* setting) {
  *setting = AudioBackendSetting();
  if (text == nullptr || *text == '\0') return true;
  std::string_view rest(text);

  size_t comma = rest.find(',');
  std::string_view head = rest.substr(0, comma);
  rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  bool moreItems = comma != std::string_view::npos;

  size_t colon = head.find(':');
  std::string_view name = head.substr(0, colon);
  bool hasArgument = colon != std::string_view::npos;
  if (hasArgument) setting->argument = std::string(head.substr(colon + 1));

  bool takesArgument;
  if (name == "alsa") {
    setting->kind = AudioBackendKind::kAlsa;
    takesArgument = true;
  } else if (name == "null") {
    setting->kind = AudioBackendKind::kNull;
    takesArgument = false;
  } else if (name == "fast") {
    setting->kind = AudioBackendKind::kFast;
    takesArgument = false;
  } else if (name == "wav") {
    setting->kind = AudioBackendKind::kWav;
    takesArgument = true;
  } else {
    return false;
  }
  if (hasArgument && (!takesArgument || setting->argument.empty())) return false;
  if (setting->kind == AudioBackendKind::kWav && !hasArgument) return false;

  bool inOptions = false;
  while (moreItems) {
    comma = rest.find(',');
    std::string_view item = rest.substr(0, comma);
    moreItems = comma != std::string_view::npos;
    rest = moreItems ? rest.substr(comma + 1) : std::string_view();
    if (item.empty()) return false;
    OptionResult result = ApplyOption(item, setting);
    if (result == OptionResult::kBad) return false;
    if (result == OptionResult::kApplied) {
      inOptions = true;
      continue;
    }
    // Not one of ours: part of a device name or path that holds a comma.
    if (inOptions || !hasArgument) return false;
    setting->argument.push_back(',');
    setting->argument.append(item);
  }
  return true;
}

bool ReadAudioBackendSetting(AudioBackendSetting* setting) {
  return ParseAudioBackendSetting(std::getenv("POCKETMIDI_AUDIO"), setting);
}

}  // namespace pocketmidi
