"""Audio with its sample rate: what Board.extract('input') and Board.record() return."""

from typing import Any, Optional, Tuple, cast

import numpy as np
import numpy.typing as npt

from ._zelp7x import SAMPLE_RATE


class Audio(np.ndarray):  # type: ignore[type-arg]
    """One channel of the chip's audio: a NumPy array of its samples (int16, or int8 from an
    8-bit tank) that carries `rate`, the samples a second.

    An array rather than a record holding one: whatever takes an array takes it as it is
    (len, slicing, NumPy, SciPy, matplotlib, sounddevice.play(audio, audio.rate)), and code
    written for the bare arrays that extract() used to return keeps working. Slices and views
    keep the rate; results NumPy makes afresh (np.concatenate, for one) are bare arrays, and
    np.asarray(audio) gives one on purpose. Pickling keeps the rate.

    Audio(samples, rate=SAMPLE_RATE) wraps other samples, e.g. for write_wav().
    """

    rate: int

    def __new__(cls, samples: npt.ArrayLike, rate: int = SAMPLE_RATE) -> "Audio":
        array = np.asarray(samples)
        if array.ndim != 1:
            raise ValueError("audio is one channel: a one-dimensional array")
        if not 0 < rate < 1 << 32:
            raise ValueError("rate: samples a second, more than 0")
        audio = array.view(cls)
        audio.rate = int(rate)
        return audio

    def __array_finalize__(self, obj: Optional[npt.NDArray[Any]]) -> None:
        self.rate = getattr(obj, "rate", SAMPLE_RATE)

    def __array_wrap__(self, array: npt.NDArray[Any], context: Any = None) -> Any:
        # A reduction (audio.max(), audio.mean()) gives a number, not a 0-d Audio.
        result = super().__array_wrap__(array, context)
        return result[()] if result.ndim == 0 else result

    def __repr__(self) -> str:
        return f"{super().__repr__()[:-1]}, rate={self.rate})"

    @property
    def seconds(self) -> float:
        """How long the audio lasts."""
        return len(self) / self.rate

    # Pickles carry the rate beside the array's own state.
    def __reduce__(self) -> Tuple[Any, ...]:
        rebuild, args, state = cast(Tuple[Any, Any, Any], super().__reduce__())
        return rebuild, args, (state, self.rate)

    def __setstate__(self, state: Tuple[Any, int]) -> None:  # type: ignore[override]
        array_state, self.rate = state
        super().__setstate__(array_state)
