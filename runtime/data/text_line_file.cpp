#include "runtime/data/text_line_file.h"

#include <cstring>

#include "runtime/core/last_error.h"

namespace rt {

TextLineFile::TextLineFile(std::function<std::string()> name, std::span<char> record)
    : record_(record), driver_(std::move(name), record.size()) {}

TextLineFile::~TextLineFile() = default;

void TextLineFile::Report(const DriverStatus& status) {
  if (status.Ok()) {
    ClearError();
    return;
  }
  SetError(status.code);
  if (!status.driverCode.empty()) SetFileError(status.driverCode, status.driverText);
}

void TextLineFile::Open(Long mode) {
  const DriverStatus status = driver_.Open(mode);
  if (status.Ok()) read_ = OrderBound{};
  Report(status);
}

void TextLineFile::Create() { Report(driver_.Create()); }

void TextLineFile::CreateIfMissing() { Report(driver_.CreateIfMissing()); }

void TextLineFile::Close() { Report(driver_.Close()); }

void TextLineFile::Add() { Report(driver_.AppendLine(std::string_view(record_.data(), record_.size()))); }

void TextLineFile::Set() {
  if (!driver_.IsOpen()) return Report(DriverStatus::Error(NotOpenErr));
  read_ = OrderBound{};
  ClearError();
}

void TextLineFile::Next() {
  ReadRequest request;
  request.from = read_;
  std::vector<RowImage> rows;
  const DriverStatus status = driver_.Read(request, rows);
  if (!status.Ok()) return Report(status);
  if (rows.empty()) return Report(DriverStatus::Error(NoRecErr));
  std::memcpy(record_.data(), rows.front().record.data(), record_.size());
  read_ = {false, {}, rows.front().pointer};
  ClearError();
}

}  // namespace rt
