// Paper saving: which blank rows of a page are kept, decided as the rows
// arrive one at a time. GetStripedBitmap and the engine's streamed road both
// go by it.
#ifndef QUORVANE_BLANK_RUN_KEEPER_H
#define QUORVANE_BLANK_RUN_KEEPER_H

namespace quorvane {

// Keeps at most `top` of the blank rows that open the page (the last of
// them), at most `bottom` of those that end it (the first of them), and at
// most `middle` of any run of blank rows, those two included (the first of
// what is left). A limit of 0 or less keeps every row of its kind. Blank
// rows are held back as a count; once it is known how a run ends, the caller
// is told which of its rows the page keeps.
class BlankRunKeeper {
 public:
  // `count` rows of the run are kept, from its row `first` on.
  struct Kept {
    int first = 0;
    int count = 0;
  };

  BlankRunKeeper(int top, int middle, int bottom) : top_(top), middle_(middle), bottom_(bottom) {}

  void blank() { ++run_; }
  // Blank rows held back: the length of the run so far.
  int run() const { return run_; }

  // A row with ink arrived: the rows of the blank run before it to keep.
  Kept before_ink() {
    Kept k = opening();
    ink_seen_ = true;
    run_ = 0;
    return within_middle(k);
  }

  // The page ended: the rows of the blank run that ends it to keep. On a
  // page without ink the top limit applies first, as the top rows are cut
  // first.
  Kept at_end() {
    Kept k = opening();
    if (bottom_ > 0 && k.count > bottom_) k.count = bottom_;
    run_ = 0;
    return within_middle(k);
  }

 private:
  // The run, less what the top limit cuts from its start while no ink has
  // been seen.
  Kept opening() const {
    if (!ink_seen_ && top_ > 0 && run_ > top_) return {run_ - top_, top_};
    return {0, run_};
  }
  Kept within_middle(Kept k) const {
    if (middle_ > 0 && k.count > middle_) k.count = middle_;
    return k;
  }

  int top_, middle_, bottom_;
  int run_ = 0;  // a page has at most INT32_MAX rows
  bool ink_seen_ = false;
};

}  // namespace quorvane

#endif
