#include "framework/error/error_block.h"

#include <array>
#include <vector>

#include "framework/error/levels.h"

namespace {

struct SourceEntry {
  rt::UShort id;
  rt::Byte level;
  std::string_view title;
  std::string_view message;
};

// The built-in table; a "|" in a text is the message box's line break.
constexpr SourceEntry kDefaultErrors[] = {
    {1, Level::Notify, "Record Retrieval Error",
     "Error: (%ErrorText) attempting to access a record from the %File file.  Returning to previous window."},
    {2, Level::Notify, "Access Denied",
     "Could not get write access to %File so trying read-only."},
    {3, Level::Ask, "Record Added",
     "This record has been added to the file. Do you want to add another record?"},
    {4, Level::Notify, "Record Insert Error",
     "An error was experienced during the creation of a record.|File: %File|Error: %ErrorText."},
    {5, Level::Notify, "Add New Record?",
     "Record match not found, do you wish to add a new one?"},
    {6, Level::Notify, "File Access Error",
     "File %File could not be closed.  Error: %ErrorText."},
    {7, Level::Notify, "Record Was Not Updated",
     "This record was changed by another station."},
    {8, Level::Notify, "Record Was Not Updated",
     "This record was changed by another station. Those changes will now be displayed. Use the Ditto Button or Ctrl+H to recall your changes."},
    {9, Level::Notify, "Record Retrieval Error",
     "This record was changed or deleted by another station.|Error: (%ErrorText) attempting to access a record from the %File file."},
    {10, Level::Ask, "Changes will be lost!",
     "Are you sure you want to cancel?"},
    {11, Level::Ask, "Confirm Delete",
     "Are you sure you want to delete the highlighted record?"},
    {12, Level::Fatal, "File Creation Error",
     "Error: (%ErrorText) creating %File."},
    {13, Level::Notify, "Record was not deleted",
     "An error (%ErrorText) was experienced when deleting a record from the %File file."},
    {14, Level::Notify, "Invalid Request",
     "This form cannot be used to delete a record"},
    {15, Level::Notify, "Duplicate Key Error",
     "Adding this record creates a duplicate entry for the key: %Message"},
    {16, Level::Notify, "Field contents error",
     "The value of %Field must be found in the %Message file."},
    {17, Level::Notify, "Value Error",
     "The value of %Field must be in the list : %Message."},
    {18, Level::Notify, "Range Error",
     "The value of %Field must be in range %Message."},
    {19, Level::Notify, "Range Error",
     "The value of %Field must be lower than %Message."},
    {20, Level::Notify, "Range Error",
     "The value of %Field must be higher than %Message."},
    {21, Level::Notify, "File Load Error",
     "%File File Load Error.  Error: %ErrorText."},
    {22, Level::Fatal, "WMF Parser Error",
     "Get next record from file %File failed."},
    {23, Level::Notify, "Invalid Request",
     "This form cannot be used to insert a record"},
    {24, Level::Notify, "Transaction cancelled",
     "Error: (%ErrorText) attempting to frame the transaction on %File."},
    {25, Level::Notify, "No Records",
     "There are no records available to process."},
    {26, Level::Fatal, "File Access Error",
     "File %File could not be opened.  Error: %ErrorText."},
    {27, Level::Notify, "Procedure not defined",
     "The Procedure %Message has not been defined."},
    {28, Level::Notify, "Record was not updated",
     "An error (%ErrorText) was experienced when making changes to the %File file."},
    {29, Level::Fatal, "Key was not built",
     "Error: (%ErrorText) repairing key for %File."},
    {30, Level::Notify, "Invalid Key",
     "%File key file is invalid. Key must be rebuilt."},
    {31, Level::Notify, "Record not read",
     "A record held by another station was encountered reading from the %File file."},
    {33, Level::Notify, "Referential Integrity Delete Error",
     "This record is referenced from the file %File. This record cannot be deleted while these references exist."},
    {34, Level::Notify, "Referential Integrity Update Error",
     "This record is referenced from the file %File. Linking field(s) have been restricted from change and have been reset to original values."},
    {35, Level::Ask, "Auto Increment Error",
     "Attempts to automatically number this record have failed.|File: %File|Key: %Key|Error: %ErrorText.|Try Again?"},
    {36, Level::Ask, "Record Delete Error",
     "An error was experienced deleting this record. Do you want to try to delete it again?"},
    {37, Level::Ask, "Record Update Error",
     "An error was experienced changing this record. Do you want to try to save again?"},
    {38, Level::Ask, "Save Record",
     "Do you want to save the changes to this record?"},
    {39, Level::Ask, "Beginning of File Error",
     "The beginning of the file %File was encountered. Do you want to start again from the end of the file?"},
    {40, Level::Ask, "End of File Error",
     "The end of the file %File was encountered. Do you want to start again from the beginning?"},
    {41, Level::Notify, "Invalid Request",
     "This form cannot be used to update a record"},
    {42, Level::Internal, "File Usage Error",
     "Attempt to use file (%File) before it was opened"},
    {43, Level::Notify, "View Open Error",
     "Error: (%ErrorText) attempting to open the current VIEW. Filter and Range Limits ignored."},
    {44, Level::Notify, "Unsupported QBE Column",
     "The saved QBE column, %Field is not supported. It will be dropped from the query."},
    {45, Level::Notify, "SMTP Error",
     "The following SMTP Error occurred: %Message "},
    {46, Level::Notify, "NNTP Error",
     "%Message "},
    {47, Level::Notify, "Winsock Error",
     "%Message "},
    {48, Level::Fatal, "WMF Parser Error",
     "Adding record to queue failed. Parsing %File."},
    {49, Level::Fatal, "WMF Parser Error",
     "The File %File is not a valid WMF file."},
    {50, Level::Fatal, "WMF Parser Error",
     "Invalid %Field control found. Parsing %File."},
    {51, Level::Fatal, "WMF Parser Error",
     "Cannot find %Field id. Parsing %File."},
    {52, Level::Notify, "Report Writer Error",
     "Poorly Formed Comment String \"%Message\" at Position %Field."},
    {53, Level::Notify, "Report Writer Error",
     "Unknown Property %Message."},
};

std::vector<unsigned char> Serialise() {
  std::vector<unsigned char> block;
  const std::size_t count = std::size(kDefaultErrors);
  block.push_back(static_cast<unsigned char>(count & 0xFF));
  block.push_back(static_cast<unsigned char>(count >> 8));
  for (const SourceEntry& entry : kDefaultErrors) {
    static_assert(sizeof(entry.id) == 2);
    block.push_back(static_cast<unsigned char>(entry.id & 0xFF));
    block.push_back(static_cast<unsigned char>(entry.id >> 8));
    block.push_back(entry.level);
    for (std::string_view text : {entry.title, entry.message}) {
      block.push_back(static_cast<unsigned char>(text.size()));  // every text is under 256 bytes
      block.insert(block.end(), text.begin(), text.end());
    }
  }
  return block;
}

}  // namespace

ErrorBlock DefaultErrors() {
  static const std::vector<unsigned char> block = Serialise();  // built once, lives for the run
  return block;
}

bool ReadErrorBlock(ErrorBlock block, const std::function<void(const ErrorBlockEntry&)>& take) {
  std::size_t at = 0;
  const auto has = [&](std::size_t bytes) { return bytes <= block.size() - at; };
  const auto text = [&](std::string_view* out) {
    if (!has(1)) return false;
    const std::size_t length = block[at++];
    if (!has(length)) return false;
    *out = std::string_view(reinterpret_cast<const char*>(block.data() + at), length);
    at += length;
    return true;
  };
  if (!has(2)) return false;
  const std::size_t count = block[0] | (block[1] << 8);
  at = 2;
  for (std::size_t i = 0; i < count; ++i) {
    ErrorBlockEntry entry{};
    if (!has(3)) return false;
    entry.id = static_cast<rt::UShort>(block[at] | (block[at + 1] << 8));
    entry.level = block[at + 2];
    at += 3;
    if (!text(&entry.title) || !text(&entry.message)) return false;
    take(entry);
  }
  return true;
}
