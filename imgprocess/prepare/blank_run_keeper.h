// Paper saving for a page whose rows arrive one at a time.
#ifndef QUORVANE_BLANK_RUN_KEEPER_H
#define QUORVANE_BLANK_RUN_KEEPER_H

namespace quorvane {

// Keeps the blank rows GetStripedBitmap keeps, with the same limits (a limit
// of 0 or less keeps every row of its kind): at most `top` of the blank rows
// that open the page, at most `bottom` of those that end it, and at most
// `middle` of any run of blank rows, those two included. Blank rows are held
// back as a count; once it is known how a run ends, the caller is told how
// many of its rows the page keeps. Every blank row is alike, so which of
// them are kept does not matter.
class BlankRunKeeper {
 public:
  BlankRunKeeper(int top, int middle, int bottom) : top_(top), middle_(middle), bottom_(bottom) {}

  void blank() { ++run_; }

  // A row with ink arrived: the number of blank rows held back to go before it.
  int before_ink() {
    int n = run_;
    if (!ink_seen_ && top_ > 0 && n > top_) n = top_;
    ink_seen_ = true;
    run_ = 0;
    return within_middle(n);
  }

  // The page ended: the number of blank rows held back to end it. On a page
  // without ink the top limit applies first, as the top rows are cut first.
  int at_end() {
    int n = run_;
    if (!ink_seen_ && top_ > 0 && n > top_) n = top_;
    if (bottom_ > 0 && n > bottom_) n = bottom_;
    run_ = 0;
    return within_middle(n);
  }

 private:
  int within_middle(int n) const { return middle_ > 0 && n > middle_ ? middle_ : n; }

  int top_, middle_, bottom_;
  int run_ = 0;  // a page has at most INT32_MAX rows
  bool ink_seen_ = false;
};

}  // namespace quorvane

#endif
