#include "image/ZlibFileCodec.h"

// Placeholder until the codec lands.
CZlibFileCodec::CZlibFileCodec() : z_stream{} {}
CZlibFileCodec::~CZlibFileCodec() = default;
int CZlibFileCodec::CompressFile(const std::string&, const std::string&, int) { return -1; }
int CZlibFileCodec::DecompressFile(const std::string&, const std::string&) { return -1; }
int CZlibFileCodec::ProgressPercent() const { return 100; }
void CZlibFileCodec::OnProgress(int) {}
void CZlibFileCodec::OnStatus(const char*) {}
unsigned CZlibFileCodec::ReadInput() { return 0; }
unsigned CZlibFileCodec::WriteOutput() { return 0; }
