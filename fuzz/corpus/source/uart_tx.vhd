-- UART transmitter, 8 data bits, no parity, one stop bit.
library ieee;
use ieee.std_logic_1164.all;
use ieee.numeric_std.all;

entity uart_tx is
  generic (CLKS_PER_BIT : positive := 434);  -- 50 MHz / 115200 baud
  port (
    clk      : in  std_logic;
    start    : in  std_logic;
    data     : in  std_logic_vector(7 downto 0);
    tx       : out std_logic;
    busy     : out std_logic
  );
end uart_tx;

architecture rtl of uart_tx is
  type state_t is (IDLE, START_BIT, DATA_BITS, STOP_BIT);
  signal state    : state_t := IDLE;
  signal clocks   : integer range 0 to CLKS_PER_BIT - 1 := 0;
  signal bit_no   : integer range 0 to 7 := 0;
  signal shifter  : std_logic_vector(7 downto 0) := x"00";
begin
  busy <= '0' when state = IDLE else '1';

  send : process (clk)
  begin
    if rising_edge(clk) then
      case state is
        when IDLE =>
          tx <= '1';
          if start = '1' then
            shifter <= data;
            clocks  <= 0;
            state   <= START_BIT;
          end if;
        when START_BIT =>
          tx <= '0';
          if clocks = CLKS_PER_BIT - 1 then
            clocks <= 0;
            bit_no <= 0;
            state  <= DATA_BITS;
          else
            clocks <= clocks + 1;
          end if;
        when DATA_BITS =>
          tx <= shifter(bit_no);
          if clocks = CLKS_PER_BIT - 1 then
            clocks <= 0;
            if bit_no = 7 then
              state <= STOP_BIT;
            else
              bit_no <= bit_no + 1;
            end if;
          else
            clocks <= clocks + 1;
          end if;
        when STOP_BIT =>
          tx <= '1';
          if clocks = CLKS_PER_BIT - 1 then
            state <= IDLE;
          else
            clocks <= clocks + 1;
          end if;
      end case;
    end if;
  end process send;
end rtl;
