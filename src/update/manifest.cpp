#include "update/manifest.h"

#include <cstring>
#include <utility>

#include <pugixml.hpp>

#include "update/update_context.h"
#include "util/text.h"

namespace zr {
namespace {

// The value of an element's first text or CDATA child; empty when it has none.
std::string TextOf(const pugi::xml_node& element) {
  for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) return child.value();
  }
  return {};
}

std::string ChildText(const pugi::xml_node& parent, const char* name) { return TextOf(parent.child(name)); }

}  // namespace

UpdateOutcome ParseUpdateManifest(CUpdateContext& context, const std::string& content, std::string* problem) {
  auto unusable = [problem](std::string why) {
    if (problem != nullptr) *problem = std::move(why);
    return UpdateOutcome::kManifestInvalid;
  };
  const size_t length = std::strlen(content.c_str());  // the content ends at its first zero byte
  pugi::xml_document document;
  pugi::xml_parse_result parsed =
      document.load_buffer(content.data(), length, pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {  // an empty content included
    if (length == 0) return unusable("empty");
    return unusable(std::string("not well-formed XML: ") + parsed.description() + " at byte " +
                    std::to_string(parsed.offset));
  }

  pugi::xml_node config = document.child("config");
  if (!config) return unusable("no \"config\" element");

  context.version = ChildText(config, "version");
  for (pugi::xml_node file : config.children("file")) {
    UpdateFileEntry entry;
    entry.md5 = ChildText(file, "md5");
    entry.tmp = Utf8ToWide(ChildText(file, "tmp"));
    entry.path = Utf8ToWide(ChildText(file, "path"));
    context.files.push_back(std::move(entry));
  }
  return context.files.empty() ? unusable("no \"file\" element") : UpdateOutcome::kOk;
}

}  // namespace zr
