// Root object and component of the class library: a class name for every object, and a
// component Name and Owner for objects that are configured by name (tables, queries, ...).
#pragma once

#include <string>

class TObject {
 public:
  virtual ~TObject() = default;
  // The unqualified C++ class name of the dynamic type ("TDiskMgr").
  virtual std::string ClassName() const;
};

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner = nullptr) : Owner(owner) {}
  std::string Name;
  TComponent* Owner;
};
