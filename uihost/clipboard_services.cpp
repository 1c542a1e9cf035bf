// Clipboard services of the provider: one entry (owner, format, data) that is either readable
// at once or delayed until its owner supplies the data; three formats are known.
#include <array>
#include <string_view>

#include "runtime/text.hpp"
#include "uihost/native_ui_host_provider.hpp"

namespace uihost {

using runtime::boolToText;
using runtime::formatText;

namespace {

constexpr std::array<std::string_view, 3> kClipboardFormats = {"text/plain;charset=utf-8", "image/rgba8",
                                                               "application/mivo-value-v1"};

}  // namespace

bool NativeUiHostProvider::isSupportedClipboardFormat(const Text& format) const {
  for (std::string_view known : kClipboardFormats) {
    if (format == known) return true;
  }
  return false;
}

bool NativeUiHostProvider::setClipboard(const Text& owner, const Text& format, const Text& data, bool delayed,
                                        bool permitted, std::int32_t thread, std::int32_t time,
                                        std::int32_t correlation) {
  if (!admit(thread, "clipboard")) return false;
  if (!permitted || owner.empty() || !isSupportedClipboardFormat(format) ||
      (delayed && !hasCapability("delayed-clipboard"))) {
    return reject("clipboard-set", "permission-format-owner-or-delayed-capability");
  }
  // Any earlier entry is replaced, whoever owned it.
  clipboard_ = ClipboardEntry{owner, format, data, delayed};
  recordHostEvent("clipboard", owner, "ownership", formatText("format={0}; delayed={1}", {format, boolToText(delayed)}),
                  time, correlation, 2);
  return true;
}

bool NativeUiHostProvider::materializeClipboard(const Text& owner, const Text& data, bool permitted,
                                                std::int32_t thread, std::int32_t time, std::int32_t correlation) {
  if (!admit(thread, "clipboard")) return false;
  if (!permitted || owner != clipboard_.clipboardOwner || !clipboard_.clipboardDelayed) {
    return reject("clipboard-materialize", "permission-owner-or-not-delayed");
  }
  clipboard_.clipboardData = data;
  clipboard_.clipboardDelayed = false;
  recordHostEvent("clipboard", owner, "materialized", clipboard_.clipboardFormat, time, correlation, 2);
  return true;
}

Text NativeUiHostProvider::readClipboard(const Text& format, bool permitted, std::int32_t thread, std::int32_t time,
                                         std::int32_t correlation) {
  if (!admit(thread, "clipboard")) return Text();
  if (!permitted || format != clipboard_.clipboardFormat || clipboard_.clipboardDelayed) {
    reject("clipboard-read", "permission-format-or-delayed-data");
    return Text();
  }
  // Any reader may read; the event names the entry's owner.
  recordHostEvent("clipboard", clipboard_.clipboardOwner, "read", format, time, correlation, 1);
  return clipboard_.clipboardData;
}

}  // namespace uihost
