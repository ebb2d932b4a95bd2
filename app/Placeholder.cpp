namespace pelmora::app {}
