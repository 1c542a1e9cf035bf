// One single-owner admission, evaluated now and committed later. It keeps the verdict, the
// counters and the reference lists of its preflight and the canonical signatures of every input
// record, never the inputs themselves: at commit the caller hands the fragment and the delta in
// again, `inputsUnchanged` tells whether they are the ones it was prepared from and
// `rebuildPreflight` turns them back into the accepted result without reading the store.
// Nothing here reports a failure; the store turns the answers into refusal messages. Only
// memory exhaustion propagates.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "render/render_records.hpp"
#include "retained/admission_result.hpp"
#include "retained/store_identity_token.hpp"

namespace retained {

class PreparedAdmission {
 public:
  // Reads the result, the fragment and the delta and keeps none of them.
  PreparedAdmission(std::shared_ptr<StoreIdentityToken> identityToken, const AdmissionResult& result,
                    const render::OwnerFragment& fragment, const render::ResourceDelta& delta, std::uint32_t revision,
                    std::uint8_t kind);
  virtual ~PreparedAdmission() = default;
  PreparedAdmission(const PreparedAdmission&) = delete;
  PreparedAdmission& operator=(const PreparedAdmission&) = delete;
  PreparedAdmission(PreparedAdmission&&) = delete;
  PreparedAdmission& operator=(PreparedAdmission&&) = delete;

  virtual bool accepted() const;
  virtual std::uint32_t revision() const;
  virtual std::uint32_t validationCount() const;
  virtual std::uint32_t explicitComparisonCount() const;
  virtual std::uint32_t payloadComparisonCount() const;
  virtual std::uint32_t indexProbeCount() const;
  virtual Text name() const;
  virtual bool consumed() const;
  // Pointer identity of the token; use counts play no part.
  virtual bool belongsTo(const std::shared_ptr<StoreIdentityToken>& token) const;
  virtual std::uint8_t kind() const;
  virtual void markConsumed();
  // Stops at the first count or signature that differs; counts are compared before any
  // signature is computed. The delta's surface id takes no part.
  virtual bool inputsUnchanged(const render::OwnerFragment& fragment, const render::ResourceDelta& delta) const;
  // The result this admission was prepared from, rebuilt from the inputs: the new records are
  // the delta records whose signatures match the kept ones, in order. A reference list shorter
  // than the fragment (a refused preparation) gives -1 for the missing commands.
  virtual AdmissionResult rebuildPreflight(const render::OwnerFragment& fragment,
                                           const render::ResourceDelta& delta) const;

 private:
  static constexpr std::size_t kSignatureLists = 6;
  static constexpr std::size_t kAddedLists = 5;
  static constexpr std::size_t kReferenceLists = 5;

  std::shared_ptr<StoreIdentityToken> identityToken_;
  std::uint32_t revision_;
  std::uint8_t kind_;
  bool consumed_ = false;
  bool accepted_;
  Text name_;
  std::uint32_t validationCount_;
  std::uint32_t explicitComparisonCount_;
  std::uint32_t payloadComparisonCount_;
  std::uint32_t indexProbeCount_;
  std::int32_t firstCommandSequence_;
  std::int32_t lastCommandSequence_;
  Text fragmentSignature_;
  // The six signature lists of the inputs (the commands', then the delta's five kinds) one after
  // another in one list, and the plan's five reference lists likewise: two allocations for them
  // instead of up to eleven (six for a one-command batch item, of which a batch holds
  // thousands); each *Ends_ entry is where its list ends. The five lists of signatures of the
  // records the preflight found new hold positions in signatures_: most are delta signatures
  // already kept, which a new image's payload makes worth not keeping twice; any other is kept
  // after the delta lists.
  std::vector<Text> signatures_;
  std::array<std::uint32_t, kSignatureLists> signatureEnds_{};
  std::vector<std::uint32_t> addedSignatures_;
  std::array<std::uint32_t, kAddedLists> addedEnds_{};
  std::vector<std::int32_t> references_;
  std::array<std::uint32_t, kReferenceLists> referenceEnds_{};

  std::span<const Text> signatureList(std::size_t list) const;
  std::span<const std::uint32_t> addedList(std::size_t list) const;
  // Entry i of reference list `list`, or -1 past its end.
  std::int32_t referenceAt(std::size_t list, std::size_t i) const;
};

}  // namespace retained
