// The message, idle, thank-you and receipt documents of the display calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/currency.h"
#include "device/xml_tree.h"

namespace korvane {

// Two lines of text and a picture, read from one named element.
class kMessage {
 public:
  kMessage() = default;
  virtual ~kMessage() = default;

  // Reads the element aTag of the document element; fails with
  // aTag + " node not found" when there is none.
  void Deserialize(std::string_view aTag, XmlTree& aXmlDocument);
  // The same, but an absent element leaves the texts empty; true when found.
  // With aLeftOut given, a text that cannot be read stays empty and is
  // noted there ("<aTag>/<name> (<why>)") instead of failing.
  bool DeserializeOptional(std::string_view aTag, XmlTree& aXmlDocument,
                           std::vector<std::string>* aLeftOut = nullptr);
  // The same two for the element aTag already found (null: none).
  void Deserialize(std::string_view aTag, XmlNode aNode);
  bool DeserializeOptional(std::string_view aTag, XmlNode aNode,
                           std::vector<std::string>* aLeftOut = nullptr);

  // Empties the texts, keeping their room.
  void Clear() {
    fText1.clear();
    fText2.clear();
    fImage.clear();
    fImageUrl.clear();
  }

  std::string fText1;
  std::string fText2;
  std::string fImage;
  std::string fImageUrl;

 private:
  void Read(XmlNode aNode, std::string_view aTag, std::vector<std::string>* aLeftOut);
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

// An ordered list that owns its items, held in one block. An item added may
// move the others: a reference to one holds until the next Add.
template <class T>
class kOwningList {
 public:
  // A new item at the end, filled by aRead(T&); an item that aRead fails
  // to fill is not kept.
  template <class TRead>
  T& Add(TRead&& aRead) {
    T& item = fItems.emplace_back();
    try {
      aRead(item);
    } catch (...) {
      fItems.pop_back();
      throw;
    }
    return item;
  }
  // Room for aCount items in all, taken at once.
  void Reserve(size_t aCount) { fItems.reserve(aCount); }
  size_t Count() const { return fItems.size(); }
  T& operator[](size_t aIndex) { return fItems[aIndex]; }
  const T& operator[](size_t aIndex) const { return fItems[aIndex]; }
  void Clear() { fItems.clear(); }

 private:
  std::vector<T> fItems;
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
  void Deserialize(XmlTree& aXmlDocument);
  // The same for the element Receipt already found (null: none).
  void Deserialize(XmlNode aReceipt);

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

}  // namespace korvane
