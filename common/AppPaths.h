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

// The user's private runtime folder (mode 0700), created when missing.
QString RuntimeFolder();

// Creates the folder when missing and leaves it readable and writable by this
// user alone; false when either fails.
bool MakePrivateFolder(const QString& folder);

// Host of the maker's web site: $KESTREL_SITE_HOST, else the build's setting.
QString SiteHost();
QString SiteUrl(const QString& path); // "http://" + SiteHost() + path

} // namespace AppPaths
