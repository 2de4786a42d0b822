#include "ceflib/bridges/dom_visitor.h"

namespace ceflib {

TCefDomVisitorOwn::TCefDomVisitorOwn() { Bind<&TCefDomVisitorOwn::Visit>(record()->visit); }

void TCefFastDomVisitor::Visit(const RefPtr<ICefDomDocument>& document) {
  if (FProc) FProc(document);
}

}  // namespace ceflib
