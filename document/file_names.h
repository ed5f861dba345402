#pragma once

#include <string>
#include <string_view>

// `name` with `extension` (".kml", ".mif") appended, unless it already ends with it in any
// letter case: "roads" -> "roads.mif", "roads.MIF" -> "roads.MIF".
std::string WithExtension(std::string_view name, std::string_view extension);

// `path` with the extension of its last component replaced: "a/b.kml" -> "a/b.mif",
// "a.d/b" -> "a.d/b.mif", ".hidden" -> ".hidden.mif".
std::string ReplaceExtension(std::string_view path, std::string_view extension);

// The last component of `path`: "C:\\数据\\北京.kml" and "a/北京.kml" give "北京.kml".
std::string_view FileNameOf(std::string_view path);

// The folder of `path`, without a separator at its end: "C:\\数据\\北京.kml" gives "C:\\数据",
// "北京.kml" gives "".
std::string_view ParentFolderOf(std::string_view path);
