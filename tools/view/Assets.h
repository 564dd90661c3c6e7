// The page of qtx view: its files, built into the tool from tools/view/page
// (see EmbedAssets.cmake), so that the page needs nothing from the network.
#ifndef QTX_TOOLS_VIEW_ASSETS_H
#define QTX_TOOLS_VIEW_ASSETS_H

#include <cstddef>

namespace qtx::tool::view {

struct Asset {
  const char* path;  // "/", "/app.js", ...
  const char* contentType;
  const unsigned char* data;
  std::size_t size;
};

extern const Asset kAssets[];
extern const std::size_t kAssetCount;

}  // namespace qtx::tool::view

#endif  // QTX_TOOLS_VIEW_ASSETS_H
