#pragma once
// global.asa, the file at a site's root that holds the application's and
// the sessions' event handlers, in <script language="VBScript"
// runat="Server"> blocks, and their objects, declared by <object
// runat="Server" scope="Session|Application" id="name" progid="..."> tags.
// Everything else in it (text, client-side scripts, comments) is left out.

#include <string>
#include <string_view>
#include <vector>

#include "host/vbscript/AspTranslator.h"

namespace kelvane::host::vbscript {

struct StaticObject {
  bool sessionScope = false;  // else the application's
  std::string id;
  std::string progID;
};

struct GlobalAsa {
  TranslatedScript script;  // the code of the script blocks, each on its own lines
  std::vector<StaticObject> objects;
};

// Reads the text of global.asa, whose site path is `path`. Raises
// CompileFailure at the line at fault for a script block that is never
// closed or not in VBScript, and for an object without an id or a ProgID,
// with a scope other than Session or Application, or named twice.
GlobalAsa ParseGlobalAsa(std::string_view text, const std::string& path);

}  // namespace kelvane::host::vbscript
