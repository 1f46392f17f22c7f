// The customer-display request layer: the request holder of every display
// call and the documents it reads (the OPEN settings and the message, idle,
// thank-you and receipt documents).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/currency.h"
#include "device/device_handler.h"
#include "device/receipt_util.h"

namespace korvane {

// Which document a request holder reads.
enum tkCustomerDisplayHandlerDocumentType : uint8_t {
  dt_Open,
  dt_Message,
  dt_Receipt,
  dt_Thankyou,
  dt_Idle,
  dt_Close
};
using tkCustomerDisplayHandlerDocumentTypes = kByteSet<tkCustomerDisplayHandlerDocumentType>;

// ---- OPEN settings ------------------------------------------------------------

// The display settings of an OPEN call. Each value is settled in three
// layers: the built-in default, the settings file QORD_KORVANE_10.ini in the
// current working directory (read afresh at every OPEN), and the request's
// Parameters element, each overriding the one before.
class kOpen {
 public:
  // The settings file's name, looked for in the current working directory.
  static constexpr const char* kSettingsFileName = "QORD_KORVANE_10.ini";

  kOpen() = default;
  virtual ~kOpen() = default;

  // Fills every field from the defaults, the settings file and the request.
  // Fails with "'<text>' is not a valid integer value" on a bad idle
  // time-out, with the wrapped string error on a Parameters child holding
  // elements, and with the file layer's error on an unreadable settings file.
  void Deserialize(const pugi::xml_document& aXmlDocument);
  // The same with the request's parameter entries already read from that
  // document (the request holder has them from the envelope).
  void Deserialize(const kParameterList& aRequestParameters);

  // For CLOSE: fParameters from the request and only the two close texts
  // from the parameters CloseText1 and CloseText2 (absent: empty); no
  // settings file, no other setting.
  void DeserializeCloseTexts(const pugi::xml_document& aXmlDocument);

  std::string GetParameter(std::string_view aName) const { return fParameters.Value(aName); }
  bool ParameterExists(std::string_view aName) const { return fParameters.Exists(aName); }
  void SetParameter(std::string_view aName, std::string_view aValue) { fParameters.Set(aName, aValue); }

  // The settings file's lines ("name=value"); empty when there is no file.
  static kParameterList LoadSettingsFile(const std::string& aPath);
  // Where the settings file is read from: the current working directory.
  static std::string SettingsFilePath();

  std::string fMode;
  std::string fLayout;
  std::string fFontName;
  bool fShowTaxes = false;
  std::string fLogoImage;
  std::string fLogoImage_Dark;
  std::string fLogoImage_Light;
  std::string fIdleImage;
  std::string fReceiptImage;
  std::string fThankyouImage;
  int32_t fIdleTimeout = 0;
  std::string fIdleText1;
  std::string fIdleText2;
  std::string fLogoImageUrl;
  std::string fLogoImage_DarkUrl;
  std::string fLogoImage_LightUrl;
  std::string fIdleImageUrl;
  std::string fReceiptImageUrl;
  std::string fThankyouImageUrl;
  kParameterList fParameters;
  std::string fCloseText1;
  std::string fCloseText2;
  std::string fThankyouText1;
  std::string fThankyouText2;
  std::string fContentRatio;
  std::string fLanguage;
  bool fShowOnlyVideo = false;
  std::string fIdleVideoUrl;
  std::string fColorSurface;
  std::string fColorOnSurface;
  std::string fColorOnSurfaceVariant;
  std::string fColorPrimary;
  std::string fColorOnPrimary;
  std::string fColorPrimaryContainer;
  std::string fColorOnPrimaryContainer;
  std::string fColorSecondary;
  std::string fColorOnSecondary;
  std::string fColorOutlineVariant;
};

// ---- message, idle and thank-you documents --------------------------------

// Two lines of text and a picture, read from one named element.
class kMessage {
 public:
  kMessage() = default;
  virtual ~kMessage() = default;

  // Reads the element aTag of the document element; fails with
  // aTag + " node not found" when there is none.
  void Deserialize(std::string_view aTag, const pugi::xml_document& aXmlDocument);
  // The same, but an absent element leaves the texts empty; true when found.
  bool DeserializeOptional(std::string_view aTag, const pugi::xml_document& aXmlDocument);

  std::string fText1;
  std::string fText2;
  std::string fImage;
  std::string fImageUrl;

 private:
  void Read(pugi::xml_node aNode);
};

class kThankyou : public kMessage {};
class kIdle : public kMessage {};

// ---- receipt document ---------------------------------------------------------

class kCDReceiptLine {
 public:
  std::string fType;
  std::string fCode;
  std::string fDescription;
  Currency fQuantity;
  Currency fPrice;
  Currency fAmount;
};

class kCDReceiptPayment {
 public:
  std::string fType;
  std::string fText1;
  std::string fText2;
  Currency fAmount;
};

// An ordered list that owns its items.
template <class T>
class kOwningList {
 public:
  T& Add(std::unique_ptr<T> aItem) {
    fItems.push_back(std::move(aItem));
    return *fItems.back();
  }
  size_t Count() const { return fItems.size(); }
  T& operator[](size_t aIndex) { return *fItems[aIndex]; }
  const T& operator[](size_t aIndex) const { return *fItems[aIndex]; }
  void Clear() { fItems.clear(); }

 private:
  std::vector<std::unique_ptr<T>> fItems;
};

class kCDReceiptLines : public kOwningList<kCDReceiptLine> {};

class kCDReceiptPayments : public kOwningList<kCDReceiptPayment> {
 public:
  // The sum of the payments' amounts (0 for none).
  Currency Total() const;
};

class kCDReceipt {
 public:
  kCDReceipt() = default;
  virtual ~kCDReceipt() = default;

  // Reads the element Receipt; fails with "Receipt node not found" when
  // there is none. Every child node of Lines and of Payments makes one item,
  // whatever its name or kind (a comment makes an empty one).
  void Deserialize(const pugi::xml_document& aXmlDocument);

  std::string fCurrency;
  Currency fSubtotal;
  Currency fTaxes;
  Currency fTotal;
  std::string fText1;
  std::string fText2;
  std::string fImage;
  std::string fImageUrl;
  kCDReceiptLines fLines;
  bool fShowPayments = false;
  kCDReceiptPayments fPayments;
};

// ---- request holder -----------------------------------------------------------

// The request holder of every customer-display call: the common envelope,
// the display-side texts of Parameters (FPType ...) and one document per
// call kind.
class kCustomerDisplayHandler : public kDeviceHandler {
 public:
  kCustomerDisplayHandler() = default;
  ~kCustomerDisplayHandler() override = default;

  // Reads the envelope, the FP texts of Parameters and the first document
  // of aDocumentTypes in the order Open, Message, Receipt, Thankyou, Idle.
  // Fails with "Parameters node not found" when the request has no
  // Parameters element. For {dt_Close} alone it reads an optional Message
  // element into fMessage (for CLOSEMESSAGE) and the optional parameters
  // CloseText1 and CloseText2 into fOpen (for CLOSE).
  void Deserialize(std::u16string_view aXml, tkCustomerDisplayHandlerDocumentTypes aDocumentTypes);
  void Deserialize(std::string_view aXml, tkCustomerDisplayHandlerDocumentTypes aDocumentTypes);

  kOpen fOpen;
  kMessage fMessage;
  kCDReceipt fReceipt;
  kThankyou fThankyou;
  kIdle fIdle;
  // The display-side texts, as read. fType hides the envelope's
  // kDeviceHandler::fType (the root Type element), which keeps its value.
  std::string fType;
  std::string fConnectTimeout;
  std::string fReadTimeout;
  std::string fAddress;
  std::string fPort;
  std::string fURL;
  std::string fAuthType;
  std::string fUser;
  std::string fPassword;
  std::string fSerialPort;
  std::string fSpeed;
  std::string fDataBits;
  std::string fParity;
  std::string fStopBits;
  std::string fLibraryName;
  std::string fPrinterName;
  std::string fProtocol;

 private:
  void ReadDocuments(const pugi::xml_document& aDocument,
                     tkCustomerDisplayHandlerDocumentTypes aDocumentTypes);
};

}  // namespace korvane
