// The module's resources as the bytes a Windows resource compiler would store: the extension
// information "XOPI", the command list "XOPC", the message table "STR#", the version information
// and the manifest. On platforms without resource sections a host reads them through the
// exported XOPGetResource.
#ifndef ZORVANE_MODULE_RESOURCES_H
#define ZORVANE_MODULE_RESOURCES_H

#include <cstdint>
#include <string>

constexpr int kXopResourceId = 1100;
constexpr int kVersionResourceId = 1;
// A DLL's own manifest.
constexpr int kManifestResourceId = 2;
constexpr uint16_t kResourceLanguage = 0x0809;

const std::string &xopiBytes();
const std::string &xopcBytes();
const std::string &versionInfoBytes();
const std::string &manifestBytes();

// The resource of that type and identifier, or null.
const std::string *findResource(const char *type, int id, uint16_t *language);

#endif
