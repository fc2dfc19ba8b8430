#pragma once

#include <QString>

// Where the program finds the files that lie beside it, and where it keeps
// per-user working files.
namespace AppPaths
{

// The folder of the running program, without a closing separator. Tests point
// it at the assembled application folder with SetAppFolder.
QString AppFolder();
void SetAppFolder(const QString& folder);

// AppFolder() + "/" + name.
QString AppFile(const QString& name);

// The user's private runtime folder ($XDG_RUNTIME_DIR, else
// ~/.cache/kestrel-runtime), created when missing; empty when neither is a
// private folder.
QString RuntimeFolder();

// Makes the folder (and its parents) when missing and says whether it is this
// user's alone: a real folder, not a link, owned by the effective user and
// closed to group and others. A folder of this user that others may enter is
// closed (mode 0700); a link or a folder of another user is refused.
bool MakePrivateFolder(const QString& folder);

// Host of the maker's web site: $KESTREL_SITE_HOST, else the build's setting.
QString SiteHost();
QString SiteUrl(const QString& path); // "http://" + SiteHost() + path

} // namespace AppPaths
